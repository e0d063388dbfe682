// Key codes and the key-name constants.
// A key code is a byte string: empty (no key), one byte (an ordinary
// character or control code), or two bytes, 255 and the PC BIOS extended
// scan code of a special key.
#pragma once
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>
#include <string_view>

namespace qb7 {

using KeyCode = std::string;

// Builds the two-byte code of an extended key.
inline KeyCode ExtendedKey(uint8_t scan) { return KeyCode{'\xff', static_cast<char>(scan)}; }

namespace keys {
// Written as literals so that they are compile-time constants shared by all.
inline constexpr std::string_view KeyF1{"\xff\x3b", 2};
inline constexpr std::string_view KeyF2{"\xff\x3c", 2};
inline constexpr std::string_view KeyF3{"\xff\x3d", 2};
inline constexpr std::string_view KeyF4{"\xff\x3e", 2};
inline constexpr std::string_view KeyF5{"\xff\x3f", 2};
inline constexpr std::string_view KeyF6{"\xff\x40", 2};
inline constexpr std::string_view KeyF7{"\xff\x41", 2};
inline constexpr std::string_view KeyF8{"\xff\x42", 2};
inline constexpr std::string_view KeyF9{"\xff\x43", 2};
inline constexpr std::string_view KeyF10{"\xff\x44", 2};
inline constexpr std::string_view KeyF11{"\xff\x85", 2};
inline constexpr std::string_view KeyF12{"\xff\x86", 2};
inline constexpr std::string_view KeyShiftF1{"\xff\x54", 2};
inline constexpr std::string_view KeyShiftF2{"\xff\x55", 2};
inline constexpr std::string_view KeyShiftF3{"\xff\x56", 2};
inline constexpr std::string_view KeyShiftF4{"\xff\x57", 2};
inline constexpr std::string_view KeyShiftF5{"\xff\x58", 2};
inline constexpr std::string_view KeyShiftF6{"\xff\x59", 2};
inline constexpr std::string_view KeyShiftF7{"\xff\x5a", 2};
inline constexpr std::string_view KeyShiftF8{"\xff\x5b", 2};
inline constexpr std::string_view KeyShiftF9{"\xff\x5c", 2};
inline constexpr std::string_view KeyShiftF10{"\xff\x5d", 2};
inline constexpr std::string_view KeyShiftF11{"\xff\x87", 2};
inline constexpr std::string_view KeyShiftF12{"\xff\x88", 2};
inline constexpr std::string_view KeyCtrlF1{"\xff\x5e", 2};
inline constexpr std::string_view KeyCtrlF10{"\xff\x67", 2};
inline constexpr std::string_view KeyCtrlF11{"\xff\x89", 2};
inline constexpr std::string_view KeyCtrlF12{"\xff\x8a", 2};
inline constexpr std::string_view KeyUp{"\xff\x48", 2};
inline constexpr std::string_view KeyDown{"\xff\x50", 2};
inline constexpr std::string_view KeyLeft{"\xff\x4b", 2};
inline constexpr std::string_view KeyRight{"\xff\x4d", 2};
inline constexpr std::string_view KeyDel{"\xff\x53", 2};
inline constexpr std::string_view KeyHome{"\xff\x47", 2};
inline constexpr std::string_view KeyEnd{"\xff\x4f", 2};
inline constexpr std::string_view KeyPgUp{"\xff\x49", 2};
inline constexpr std::string_view KeyPgDn{"\xff\x51", 2};
inline constexpr std::string_view KeyIns{"\xff\x52", 2};
inline constexpr std::string_view KeyCtrlUp{"\xff\x8d", 2};
inline constexpr std::string_view KeyCtrlDown{"\xff\x91", 2};
inline constexpr std::string_view KeyCtrlPgUp{"\xff\x84", 2};
inline constexpr std::string_view KeyCtrlIns{"\xff\x92", 2};
inline constexpr std::string_view KeyCtrlDel{"\xff\x93", 2};
inline constexpr std::string_view KeyShiftTab{"\xff\x0f", 2};
inline constexpr std::string_view KeyTab{"\x09", 1};
inline constexpr std::string_view KeyEnter{"\x0d", 1};
inline constexpr std::string_view KeyEsc{"\x1b", 1};
}  // namespace keys

// Codes the decoder gives besides key codes: three bytes, so that no key
// code (one or two bytes) can be one of them.
//
// What the view of the screen takes for itself and never hands to the
// program: the mouse wheel, Shift-PgUp and Shift-PgDn.
namespace view {
inline constexpr std::string_view WheelUp{"\xff\xff\x01", 3};
inline constexpr std::string_view WheelDown{"\xff\xff\x02", 3};
inline constexpr std::string_view PageUp{"\xff\xff\x03", 3};
inline constexpr std::string_view PageDown{"\xff\xff\x04", 3};
// A mouse report that is no wheel (a click, a drag): nothing at all.
inline constexpr std::string_view Mouse{"\xff\xff\x05", 3};
}  // namespace view
// A paste begins and ends (bracketed paste): the keys between them were
// pasted, not typed.
namespace paste {
inline constexpr std::string_view Start{"\xff\xff\x06", 3};
inline constexpr std::string_view End{"\xff\xff\x07", 3};
}  // namespace paste
inline bool IsMarkerCode(std::string_view code) {
  return code.size() == 3 && code.substr(0, 2) == "\xff\xff";
}
inline bool IsViewCode(std::string_view code) {
  return IsMarkerCode(code) && code != paste::Start && code != paste::End;
}
// The operator chose a line speed in the history (b): the session programs
// the UART at it. No terminal sends it (every key of two bytes begins with
// 255); the key router makes it, after the keys before it. Two bytes, as
// every key that crosses to the program: 254 and the speed's place.
namespace speed {
inline constexpr int kSpeeds[] = {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
inline constexpr char kLead = '\xfe';
// The order for the speed at place 1..8 of kSpeeds.
inline std::string Order(int place) { return std::string{kLead, static_cast<char>(place)}; }
// The speed an order asks for; 0 for any other key.
inline int FromOrder(std::string_view key) {
  if (key.size() != 2 || key[0] != kLead) return 0;
  const int place = static_cast<unsigned char>(key[1]);
  return place >= 1 && place <= static_cast<int>(std::size(kSpeeds)) ? kSpeeds[place - 1] : 0;
}
}  // namespace speed

// The operator made a mark in the history (m): the session records it in
// Term.times and shows it as a row of its own. Its note crosses as keys of
// two bytes, as every key that crosses to the program: 253 and 1 begin it,
// 253 and each byte of the note (32..255) follow, 253 and 2 end it.
namespace mark {
inline constexpr char kLead = '\xfd';
inline const std::string kBegin{kLead, '\x01'};
inline const std::string kEnd{kLead, '\x02'};
// The keys that carry a mark with this note (bytes below 32 are left out).
inline std::vector<std::string> Order(std::string_view note) {
  std::vector<std::string> keys{kBegin};
  for (char c : note)
    if (static_cast<unsigned char>(c) >= 32) keys.push_back(std::string{kLead, c});
  keys.push_back(kEnd);
  return keys;
}
inline bool IsOrder(std::string_view key) { return key.size() == 2 && key[0] == kLead; }
}  // namespace mark

// PC BIOS scan codes of the extended keys, by modifier.
namespace scan {
// F1..F10 plain / Shift / Ctrl / Alt start at these codes; F11 and F12 follow
// the second table.
inline constexpr uint8_t kF1 = 59, kShiftF1 = 84, kCtrlF1 = 94, kAltF1 = 104;
inline constexpr uint8_t kF11 = 133, kShiftF11 = 135, kCtrlF11 = 137, kAltF11 = 139;
inline constexpr uint8_t kHome = 71, kUp = 72, kPgUp = 73, kLeft = 75, kRight = 77,
                         kEnd = 79, kDown = 80, kPgDn = 81, kIns = 82, kDel = 83;
inline constexpr uint8_t kCtrlHome = 119, kCtrlUp = 141, kCtrlPgUp = 132, kCtrlLeft = 115,
                         kCtrlRight = 116, kCtrlEnd = 117, kCtrlDown = 145, kCtrlPgDn = 118,
                         kCtrlIns = 146, kCtrlDel = 147;
inline constexpr uint8_t kAltHome = 151, kAltUp = 152, kAltPgUp = 153, kAltLeft = 155,
                         kAltRight = 157, kAltEnd = 159, kAltDown = 160, kAltPgDn = 161,
                         kAltIns = 162, kAltDel = 163;
inline constexpr uint8_t kAlt1 = 120;  // Alt-1 .. Alt-9, Alt-0 are 120 .. 129
}  // namespace scan

// The BIOS scan code of Alt with a letter (a..z, either case), or 0.
uint8_t AltLetterScan(char letter);
// The BIOS scan code of Alt with a digit, or 0.
uint8_t AltDigitScan(char digit);

}  // namespace qb7
