#include "document/ProjectSetup.h"

ProjectSetup ProjectSetup::Defaults() const {
    ProjectSetup defaults;
    defaults.line = line;
    defaults.serial = serial;
    defaults.webport = webport;
    return defaults;
}
