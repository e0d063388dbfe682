// Turns the bytes a terminal sends for key presses into the program's key
// codes, for every family of terminal: xterm and its kin (VTE terminals,
// tmux, screen, st, PuTTY), rxvt-unicode, and the Linux console, with
// Shift, Ctrl and Alt. Pure: the caller passes the time, so a lone Esc is
// told from the start of a sequence by the delay.
//
// A few byte strings mean different keys in different families: ESC [23~
// is F11 in xterm and Shift-F1 in rxvt; ESC [25~ is Shift-F1 under the Linux
// console's console-setup keymaps and Shift-F3 in rxvt. The family given
// (from TERM) decides those; everything else decodes the same in all.
//
// Mouse reports (SGR and the older X10 form) become the view's wheel codes,
// or nothing; Shift-PgUp and Shift-PgDn become the view's page codes. A
// sequence too long to be a key or a report (a malformed mouse report, a
// sequence that never ends) is read to its final byte and dropped whole,
// in bounded memory; none of it becomes keys. A bracketed paste
// (ESC [200~ .. ESC [201~) comes out between paste::Start and
// paste::End, its bytes taken literally: none is a key's sequence or
// the order to end.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "keys/keys.hpp"

namespace qb7 {

enum class KeyFamily {
  Xterm,  // xterm, VTE, tmux, screen, st, PuTTY, Windows Terminal, Linux console
  Rxvt,   // rxvt-unicode and the rxvt family
};

// The family a terminal of this TERM belongs to.
KeyFamily KeyFamilyFor(std::string_view term);

using DecodedKeys = std::deque<KeyCode>;

class KeyDecoder {
 public:
  // After this long with nothing more, an Esc (or an unfinished sequence)
  // stands alone.
  static constexpr uint64_t kEscapeDelayUs = 50000;
  // Parameter bytes kept of one sequence: no key or report needs more.
  static constexpr std::size_t kMaxParams = 16;

  explicit KeyDecoder(KeyFamily family = KeyFamily::Xterm) : family_(family) {}

  // Feeds one byte received at nowUs; decoded keys go to out. Returns true
  // when the byte was Ctrl-C, which is no key but the order to end.
  bool Feed(uint8_t byte, uint64_t nowUs, DecodedKeys& out);
  // Ctrl-C typed becomes the key it is (byte 3) instead of the order to
  // end; pasted, it is pasted text either way.
  void SetCtrlCIsKey(bool on) { ctrlCIsKey_ = on; }
  // Completes what waited longer than the escape delay, or a paste's end
  // that stood quiet. Returns true when keys typed behind the paste's end
  // held Ctrl-C: the order to end, as from Feed.
  bool Tick(uint64_t nowUs, DecodedKeys& out);
  // After a paste's end marker, bytes that follow within this long (no
  // hand types so fast) are held until the run is over: a marker inside the
  // pasted text must not let the rest act as keys. The last marker of such
  // a run ends the paste, an earlier one was text; what follows the last
  // marker was typed.
  static constexpr uint64_t kPasteTailUs = 20000;
  // Bytes held after an end marker before they are handed on as pasted.
  static constexpr std::size_t kPasteTailBytes = 65536;
  // True while bytes of an unfinished sequence wait.
  // True while bytes of an unfinished sequence wait, or a paste's end is
  // not yet sure: Tick must come again.
  bool Pending() const { return state_ != State::Ground && state_ != State::Paste; }
  bool Pasting() const { return state_ == State::Paste || state_ == State::PasteTail; }

 private:
  enum class State {
    Ground, Escape, EscapeEscape, Csi, Ss3, LinuxFunction, X10Mouse, Utf8,
    Paste,      // between the paste markers
    PasteTail,  // after an end marker, bytes within kPasteTailUs: still pasted
  };

  // One byte in each state: the walk (key_decoder.cpp).
  void Ground(uint8_t byte, DecodedKeys& out);
  void OnEscape(uint8_t byte, DecodedKeys& out);
  void OnEscapeEscape(uint8_t byte, DecodedKeys& out);
  void OnCsi(uint8_t byte, DecodedKeys& out);
  void OnSs3(uint8_t byte, DecodedKeys& out);
  void OnX10Mouse(uint8_t byte, DecodedKeys& out);
  void OnUtf8(uint8_t byte, DecodedKeys& out);
  void AfterEscape(uint8_t byte, DecodedKeys& out);
  void StartSequence(State state);
  void KeepParam(uint8_t b);
  void Abandon(DecodedKeys& out);
  // A key with Alt sent as its byte with the eighth bit set.
  void Meta(uint8_t byte, DecodedKeys& out);
  // A bracketed paste, read literally (key_decoder_paste.cpp).
  void StartPaste();
  void PasteByte(uint8_t byte, DecodedKeys& out);
  void PasteTailByte(uint8_t byte, DecodedKeys& out);
  // Decides the bytes held after an end marker: done (quiet), the paste
  // ends at the last marker and what follows is read as typed; not done
  // (too many held), the paste goes on. True when the typed held Ctrl-C.
  bool FlushTail(bool done, DecodedKeys& out);
  void PasteLiteral(uint8_t byte, DecodedKeys& out);

  KeyFamily family_;
  bool ctrlCIsKey_ = false;
  State state_ = State::Ground;
  bool alt_ = false;  // an Esc came before the whole sequence: Alt with it
  uint64_t startedUs_ = 0;
  std::string params_;
  bool overlong_ = false;  // more parameter bytes came than are kept
  std::size_t pasteEndMatched_ = 0;  // bytes of ESC [201~ seen in a paste
  std::string tail_;                 // bytes after an end marker, held
  std::size_t tailMarker_ = std::string::npos;  // the last end marker in tail_
  bool pasteUtf8_ = false;           // a pasted character's bytes continue
  char32_t codePoint_ = 0;
  uint8_t utf8Lead_ = 0;     // the first byte of the character being read
  bool utf8Fresh_ = false;   // and nothing after it yet
  uint64_t nowUs_ = 0;       // the time of the byte being fed
  int utf8Left_ = 0;
  int mouseLeft_ = 0;
  uint8_t mouseButton_ = 0;
};

}  // namespace qb7
