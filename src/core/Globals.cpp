#include "core/Globals.h"

uint16_t g_language = 9;
int g_qxModelFlag = 0;

uint8_t g_station = 1;
float g_firmwareVersion = 100.0f;
std::string g_driveSoftVersion;
uint16_t g_driveVariantCode = 0;
std::string g_productModel;
std::string g_driveModel;
std::string g_displayModel;

std::string g_activeModule;
// The project's version from the build, so that the about box, --version,
// the package and the manual pages say the same.
const char* const g_programVersion = "Ver " HALVEX_VERSION;
AccessLevel g_accessLevel = AccessLevel::Ordinary;
