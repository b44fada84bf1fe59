#include "document/ProjectSetup.h"

void ProjectSetup::Reset() {
    ProjectSetup defaults;
    defaults.line = line;
    defaults.serial = serial;
    defaults.webport = webport;
    *this = std::move(defaults);
}
