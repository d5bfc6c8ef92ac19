#pragma once
// The program-wide state, under its classic names. Everything here lives for
// the whole run. Unless a comment says otherwise, it is written on the UI
// thread only (by the connection window or the main frame) and read by the
// worker threads of transfers and captures while no write can happen.

#include <cstdint>
#include <string>

// The program-wide link (theComm) lives with the link and the parameter
// table (theParameterTable) with the parameters, so that this file, which
// they both read, depends on neither.

// 4 = Simplified Chinese, 9 = English. Set at start-up.
extern uint16_t g_language;
// 1 when QxModel/Yes is exactly "1". Set at start-up.
extern int g_qxModelFlag;

// Written by connect and search.
extern uint8_t g_station;
extern float g_firmwareVersion;       // register 138, at least 100.0
extern std::string g_driveSoftVersion; // register 123 / 10, "%.1f"
extern uint16_t g_driveVariantCode;   // register 0xFFBF
extern std::string g_productModel;    // registers 116..122
extern std::string g_driveModel;      // registers 0xFFC0..; "KRV7" offline
extern std::string g_displayModel;    // from the model mapping

// The title of the open drive window that holds the link (one-window rule);
// empty when none.
extern std::string g_activeModule;
extern const char* const g_programVersion;  // "Ver 1.56"

enum class AccessLevel { Ordinary, Administrator };
extern AccessLevel g_accessLevel;
