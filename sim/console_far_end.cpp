#include "sim/console_far_end.hpp"

#include <cstdio>
#include <cstdlib>

namespace qb7::sim {

namespace {

const char* const kGreen = "\x1b[1;32m";
const char* const kRed = "\x1b[1;31m";
const char* const kYellow = "\x1b[33m";
const char* const kCyan = "\x1b[36m";
const char* const kReset = "\x1b[0m";

std::string Trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return {};
  std::size_t b = s.find_last_not_of(' ');
  return s.substr(a, b - a + 1);
}

std::vector<std::string> VscBootLog() {
  static const char* const kSteps[] = {
      "Reset cause: external reset pin",
      "DDR3 training",
      "Loading bootloader from SPI flash",
      "RedBoot(tm) bootstrap and debug environment [ROMRAM]",
      "Platform: VSC7420 (Caracal-1) switch",
      "RAM: 0x80000000-0x88000000, [0x8003f5c8-0x87fe1000] available",
      "FLASH: 0x40000000-0x40ffffff, 256 x 0x10000 blocks",
      "Executing boot script in 1.000 seconds",
      "Uncompressing Linux kernel",
      "Linux version 3.14 (build@qb7) #1 PREEMPT",
      "CPU revision is: 02019654 (MIPS 24KEc)",
      "Memory: 120532K/131072K available",
      "Calibrating delay loop... 278.93 BogoMIPS",
      "Mounting root file system",
      "Switch core: 10 ports, 1G copper x8, SFP x2",
      "PHY firmware loaded",
      "Port  1..8: link down",
      "Port  9..10: SFP empty",
      "VLAN 1 created",
      "Spanning tree disabled",
      "Starting management CLI",
  };
  std::vector<std::string> lines;
  int n = 0;
  for (const char* step : kSteps) {
    char stamp[32];
    const long us = 1000L * 137 * n + 911L * n;
    std::snprintf(stamp, sizeof stamp, "[%5ld.%06ld] ", us / 1000000, us % 1000000);
    lines.push_back(std::string(kCyan) + stamp + kReset + step);
    lines.push_back(std::string("  ") + kGreen + "[  OK  ]" + kReset + " " + step);
    ++n;
  }
  lines.push_back(std::string(kYellow) + "Warning: default password in use" + kReset);
  return lines;
}

}  // namespace

ConsoleProfile Vsc7420Profile() {
  return {"vsc7420# ",
          "VSC7420 Caracal switch CLI, firmware 4.2.1 (simulated QB7 board)\r\n",
          std::string("Port  Link   Speed\r\n") + " 1    " + kGreen + "up" + kReset +
              "     1G\r\n 2    " + kRed + "down" + kReset + "   -\r\n 9    " + kYellow +
              "sfp" + kReset + "    -\r\n",
          VscBootLog()};
}

ConsoleProfile Dk22nProfile() {
  return {"DK22N> ",
          "DK22N module console, version 1.7 (simulated QB7 board)\r\n",
          std::string("Supply  ") + kGreen + "3.30 V" + kReset + "\r\nTemp    " + kYellow +
              "48 C" + kReset + "\r\n",
          {}};
}

ConsoleProfile Dk22sProfile() {
  return {"DK22S> ",
          "DK22S module console, version 2.0 (simulated QB7 board)\r\n",
          std::string("Link to QB7  ") + kGreen + "OK" + kReset + "\r\nAlarm        " + kRed +
              "\x1b[43mFAN" + kReset + "\r\n",
          {}};
}

const std::string& ConsoleFarEnd::HelpText() {
  static const std::string kHelp =
      "Commands:\r\n"
      "  help        this list\r\n"
      "  version     firmware banner\r\n"
      "  status      state of the unit (in colour)\r\n"
      "  pattern N   send N bytes of the test pattern\r\n"
      "  Ctrl-C      a fresh prompt\r\n";
  return kHelp;
}

uint64_t ConsoleFarEnd::SendBootLines(std::size_t from, std::size_t upTo, uint64_t atUs) {
  uint64_t t = atUs;
  for (std::size_t i = from; i < upTo && i < profile_.bootLog.size(); ++i) {
    Reply(profile_.bootLog[i] + "\r\n", t);
    t += boots_.LineDelayUs(kBootLineUs);
  }
  return t;
}

void ConsoleFarEnd::OnReset(uint64_t atUs) {
  outbox_.Clear();
  line_.clear();
  if (profile_.bootLog.empty()) return;
  const std::size_t lines = profile_.bootLog.size();
  uint64_t t = atUs;
  switch (boots_.NextBoot()) {
    case BootFate::Good:
      break;
    case BootFate::Hang:
      // Stops two thirds of the way, never to reach the prompt.
      SendBootLines(0, lines * 2 / 3, t);
      return;
    case BootFate::Panic:
      // Half way, the kernel panics; the board restarts itself and boots
      // again from the first line.
      t = SendBootLines(0, lines / 2, t);
      Reply(std::string(kRed) + "Kernel panic - not syncing: Attempted to kill init!" + kReset +
                "\r\nRebooting in 1 seconds..\r\n",
            t);
      t += kPanicRebootUs;
      break;
    case BootFate::Slow:
      // One step takes its time: the line of the step three quarters of
      // the way comes late, the rest as usual after it.
      t = SendBootLines(0, lines * 3 / 4, t) + kSlowStepUs;
      t = SendBootLines(lines * 3 / 4, lines, t);
      Reply("\r\n" + profile_.banner + profile_.prompt, t);
      return;
  }
  t = SendBootLines(0, lines, t);
  Reply("\r\n" + profile_.banner + profile_.prompt, t);
}

void ConsoleFarEnd::OnByte(uint8_t b, uint64_t atUs) {
  if (skipNext_) {
    skipNext_ = false;
    return;
  }
  if (escape_ == 1) {
    escape_ = b == '[' ? 2 : 0;
    return;
  }
  if (escape_ == 2) {
    if (b >= 0x40 && b <= 0x7E) escape_ = 0;
    return;
  }
  switch (b) {
    case 27:
      escape_ = 1;
      return;
    case 255:
      skipNext_ = true;
      return;
    case 3:
      line_.clear();
      Reply("^C\r\n" + profile_.prompt, atUs);
      return;
    case 13: {
      Reply("\r\n", atUs);
      std::string line = Trim(line_);
      line_.clear();
      Execute(line, atUs);
      return;
    }
    case 8:
    case 127:
      if (!line_.empty()) {
        line_.pop_back();
        Reply("\b \b", atUs);
      }
      return;
    default:
      if (b < 32) return;
      line_.push_back(static_cast<char>(b));
      Reply(std::string_view(reinterpret_cast<const char*>(&b), 1), atUs);
  }
}

void ConsoleFarEnd::Execute(const std::string& line, uint64_t atUs) {
  if (line == "help") {
    Reply(HelpText(), atUs);
  } else if (line == "version") {
    Reply(profile_.banner, atUs);
  } else if (line == "status") {
    Reply(profile_.status, atUs);
  } else if (line.rfind("pattern", 0) == 0) {
    long long n = std::atoll(line.c_str() + 7);
    if (n > 0) outbox_.SendPattern(static_cast<uint64_t>(n), atUs);
  } else if (!line.empty()) {
    Reply("% Unknown command: " + line + "\r\n", atUs);
  }
  Reply(profile_.prompt, atUs);
}

}  // namespace qb7::sim
