#include "platform/settings.h"

namespace platform {

const char kSettingsKey[] = "SOFTWARE\\velmora\\telmar-setup";

}  // namespace platform
