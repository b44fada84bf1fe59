#pragma once

// Everything a user of the value library needs in one include.
#include "json/jsonArray.h"
#include "json/jsonBase.h"
#include "json/jsonBool.h"
#include "json/jsonDouble.h"
#include "json/jsonInt.h"
#include "json/jsonNull.h"
#include "json/jsonObject.h"
#include "json/jsonString.h"
