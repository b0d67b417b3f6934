#include "app/CommandEnvironment.h"

const CommandEnvironment& SystemCommandEnvironment() {
    static const CommandEnvironment environment = {GetVersionExW, SystemNetCfgPlatform()};
    return environment;
}
