// Reads "Qb7_Uart.cfg" from the working directory into the store: the baud,
// the function-key macros and the help lines.
#pragma once
#include <string_view>

#include "config/store.hpp"
#include "console/console.hpp"
#include "os/files.hpp"

namespace qb7 {

inline constexpr std::string_view kConfigFileName = "Qb7_Uart.cfg";
inline constexpr std::string_view kConfigNotFound = "Config file not found: ";
inline constexpr std::string_view kNonValidCommand = "Non Valid Command: ";
inline constexpr std::string_view kConfigNotReadable = "Config file not readable: ";
inline constexpr int kDefaultBaud = 115200;

void LoadConfiguration(Console& console, Files& files, Store& store);

}  // namespace qb7
