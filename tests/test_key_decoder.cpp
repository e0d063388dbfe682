#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keys/key_decoder.hpp"
#include "keys/keys.hpp"

namespace qb7 {
namespace {

// Feeds the bytes at once, then lets the escape delay pass.
std::vector<std::string> Decode(const std::string& bytes, bool* interrupted = nullptr,
                                KeyFamily family = KeyFamily::Xterm) {
  KeyDecoder d(family);
  DecodedKeys q;
  bool stop = false;
  for (unsigned char b : bytes) stop |= d.Feed(b, 1000, q);
  d.Tick(1000 + KeyDecoder::kEscapeDelayUs + 1, q);
  if (interrupted) *interrupted = stop;
  return std::vector<std::string>(q.begin(), q.end());
}

std::string X(int scan) { return std::string{'\xff', static_cast<char>(scan)}; }

struct Case {
  const char* name;
  std::string bytes;
  std::vector<std::string> keys;
};

TEST(KeyDecoder, SequencesOfEveryTerminalGiveTheBiosCodes) {
  const std::vector<Case> cases = {
      // Function keys as tmux, xterm and screen send them.
      {"F1", "\x1bOP", {X(59)}},
      {"F4", "\x1bOS", {X(62)}},
      {"F5", "\x1b[15~", {X(63)}},
      {"F10", "\x1b[21~", {X(68)}},
      {"F11", "\x1b[23~", {X(133)}},
      {"F12", "\x1b[24~", {X(134)}},
      {"Shift-F1", "\x1b[1;2P", {X(84)}},
      {"Shift-F3", "\x1b[1;2R", {X(86)}},
      {"Shift-F10", "\x1b[21;2~", {X(93)}},
      {"Shift-F12", "\x1b[24;2~", {X(136)}},
      {"Ctrl-F1", "\x1b[1;5P", {X(94)}},
      {"Ctrl-F12", "\x1b[24;5~", {X(138)}},
      {"Alt-F2", "\x1b[1;3Q", {X(105)}},
      {"Alt-F11", "\x1b[23;3~", {X(139)}},
      {"SS3 modified F1", "\x1bO2P", {X(84)}},
      // The Linux console.
      {"linux F1", "\x1b[[A", {X(59)}},
      {"linux F5", "\x1b[[E", {X(63)}},
      {"linux Shift-F1", "\x1b[25~", {X(84)}},
      {"linux Shift-F8", "\x1b[34~", {X(91)}},
      // The cursor block.
      {"Up", "\x1b[A", {X(72)}},
      {"Up keypad", "\x1bOA", {X(72)}},
      {"Left", "\x1b[D", {X(75)}},
      {"Ctrl-Up", "\x1b[1;5A", {X(141)}},
      {"Ctrl-Down", "\x1b[1;5B", {X(145)}},
      {"Ctrl-Left", "\x1b[1;5D", {X(115)}},
      {"Shift-Up is Up", "\x1b[1;2A", {X(72)}},
      {"Home", "\x1b[1~", {X(71)}},
      {"Home H", "\x1b[H", {X(71)}},
      {"Home SS3", "\x1bOH", {X(71)}},
      {"End", "\x1b[4~", {X(79)}},
      {"Ctrl-Home", "\x1b[1;5H", {X(119)}},
      {"Ctrl-End", "\x1b[1;5F", {X(117)}},
      {"Ins", "\x1b[2~", {X(82)}},
      {"Del", "\x1b[3~", {X(83)}},
      {"PgUp", "\x1b[5~", {X(73)}},
      {"PgDn", "\x1b[6~", {X(81)}},
      {"Ctrl-PgUp", "\x1b[5;5~", {X(132)}},
      {"Ctrl-Ins", "\x1b[2;5~", {X(146)}},
      {"Ctrl-Del", "\x1b[3;5~", {X(147)}},
      {"Shift-Tab", "\x1b[Z", {X(15)}},
      // Alt with letters and digits.
      {"Alt-x", "\x1bx", {X(45)}},
      {"Alt-Q", "\x1bQ", {X(16)}},
      {"Alt-1", "\x1b" "1", {X(120)}},
      {"Alt-0", "\x1b" "0", {X(129)}},
      // Plain bytes.
      {"letters", "aZ", {"a", "Z"}},
      {"Enter", "\r", {"\r"}},
      {"Tab", "\t", {"\t"}},
      {"Backspace 127", "\x7f", {"\x08"}},
      {"Backspace 8", "\x08", {"\x08"}},
      {"Ctrl-Z", "\x1a", {"\x1a"}},
      {"Ctrl-A", "\x01", {"\x01"}},
      {"lone Esc", "\x1b", {"\x1b"}},
      {"Esc Esc", "\x1b\x1b", {"\x1b", "\x1b"}},
      {"Esc then punctuation", "\x1b!", {"\x1b", "!"}},
      {"Alt-[ alone", "\x1b[", {"\x1b", "["}},
      // UTF-8 typed characters become their code-page byte.
      {"e acute", "\xc3\xa9", {"\x82"}},
      {"no CP437 glyph", "\xe2\x82\xac", {}},
      // What is no key is dropped.
      {"focus in", "\x1b[I", {}},
      {"unknown tilde", "\x1b[99~", {}},
      {"private", "\x1b[?1;2c", {}},
      {"keys after a dropped one", "\x1b[I" "a", {"a"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes), c.keys) << c.name;
}

// The key-name constants the program compares against are what a press of
// that key produces: 255 and the key's BIOS code.
TEST(KeyDecoder, APressOfEachNamedKeyGivesItsConstant) {
  const struct {
    std::string_view constant;
    std::string press;
    int bios;
  } table[] = {
      {keys::KeyF1, "\x1bOP", 59},          {keys::KeyF10, "\x1b[21~", 68},
      {keys::KeyF11, "\x1b[23~", 133},      {keys::KeyF12, "\x1b[24~", 134},
      {keys::KeyShiftF1, "\x1b[1;2P", 84},  {keys::KeyShiftF2, "\x1b[1;2Q", 85},
      {keys::KeyShiftF10, "\x1b[21;2~", 93}, {keys::KeyShiftF11, "\x1b[23;2~", 135},
      {keys::KeyShiftF12, "\x1b[24;2~", 136}, {keys::KeyCtrlF1, "\x1b[1;5P", 94},
      {keys::KeyCtrlF10, "\x1b[21;5~", 103}, {keys::KeyCtrlF12, "\x1b[24;5~", 138},
      {keys::KeyUp, "\x1b[A", 72},          {keys::KeyDown, "\x1b[B", 80},
      {keys::KeyLeft, "\x1b[D", 75},        {keys::KeyRight, "\x1b[C", 77},
      {keys::KeyDel, "\x1b[3~", 83},        {keys::KeyHome, "\x1b[1~", 71},
      {keys::KeyEnd, "\x1b[4~", 79},        {keys::KeyPgUp, "\x1b[5~", 73},
      {keys::KeyPgDn, "\x1b[6~", 81},       {keys::KeyIns, "\x1b[2~", 82},
      {keys::KeyCtrlUp, "\x1b[1;5A", 141},  {keys::KeyCtrlDown, "\x1b[1;5B", 145},
      {keys::KeyCtrlPgUp, "\x1b[5;5~", 132}, {keys::KeyCtrlIns, "\x1b[2;5~", 146},
      {keys::KeyCtrlDel, "\x1b[3;5~", 147}, {keys::KeyShiftTab, "\x1b[Z", 15},
  };
  for (const auto& t : table) {
    EXPECT_EQ(Decode(t.press), std::vector<std::string>{std::string(t.constant)}) << t.bios;
    EXPECT_EQ(std::string(t.constant), X(t.bios));
  }
  EXPECT_EQ(Decode("\t"), std::vector<std::string>{std::string(keys::KeyTab)});
  EXPECT_EQ(Decode("\r"), std::vector<std::string>{std::string(keys::KeyEnter)});
  EXPECT_EQ(Decode("\x1b"), std::vector<std::string>{std::string(keys::KeyEsc)});
}

// What rxvt-unicode sends, decoded with its family; and the sequences that
// mean different keys in different families, under both.
TEST(KeyDecoder, TheRxvtFamily) {
  const std::vector<Case> cases = {
      {"F1", "\x1b[11~", {X(59)}},
      {"F10", "\x1b[21~", {X(68)}},
      {"Shift-F1 (also F11's bytes)", "\x1b[23~", {X(84)}},
      {"Shift-F2 (also F12's bytes)", "\x1b[24~", {X(85)}},
      {"Shift-F3", "\x1b[25~", {X(86)}},
      {"Shift-F10", "\x1b[34~", {X(93)}},
      {"Shift-F11", "\x1b[23$", {X(135)}},
      {"Shift-F12", "\x1b[24$", {X(136)}},
      {"Ctrl-F1", "\x1b[11^", {X(94)}},
      {"Ctrl-F11", "\x1b[23^", {X(137)}},
      {"Ctrl-Shift-F1", "\x1b[23@", {X(94)}},
      {"Alt-F1", "\x1b\x1b[11~", {X(104)}},
      {"Alt-Up", "\x1b\x1bOA", {X(152)}},
      {"Ctrl-Up", "\x1bOa", {X(141)}},
      {"Ctrl-Left", "\x1bOd", {X(115)}},
      {"Shift-Right is Right", "\x1b[c", {X(77)}},
      {"Home", "\x1b[7~", {X(71)}},
      {"Ctrl-Home", "\x1b[7^", {X(119)}},
      {"Ctrl-End", "\x1b[8^", {X(117)}},
      {"Shift-Del is Del", "\x1b[3$", {X(83)}},
      {"Shift-PgUp is the view's", "\x1b[5$", {std::string(view::PageUp)}},
      {"Esc Esc, then a letter", "\x1b\x1bx", {"\x1b", X(45)}},
      {"F11 as a keysym resource sends it", "\x1b[23;1~", {X(133)}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes, nullptr, KeyFamily::Rxvt), c.keys) << c.name;
  // The same bytes in the xterm family (and the Linux console, whose
  // console-setup keymaps Debian and Ubuntu install).
  const std::vector<Case> xterm = {
      {"F11", "\x1b[23~", {X(133)}},
      {"F12", "\x1b[24~", {X(134)}},
      {"console-setup Shift-F1", "\x1b[25~", {X(84)}},
      {"console-setup Shift-F8", "\x1b[34~", {X(91)}},
  };
  for (const Case& c : xterm) EXPECT_EQ(Decode(c.bytes), c.keys) << c.name;
  EXPECT_EQ(KeyFamilyFor("rxvt-unicode-256color"), KeyFamily::Rxvt);
  EXPECT_EQ(KeyFamilyFor("rxvt"), KeyFamily::Rxvt);
  for (const char* term : {"xterm-256color", "linux", "tmux-256color", "screen", "st-256color", ""})
    EXPECT_EQ(KeyFamilyFor(term), KeyFamily::Xterm) << term;
}

// st without keypad-transmit mode, the Linux console, and what the mouse
// and the view's keys become.
TEST(KeyDecoder, StTheLinuxConsoleTheMouseAndTheView) {
  const std::vector<Case> cases = {
      {"st Delete", "\x1b[P", {X(83)}},
      {"st Insert", "\x1b[4h", {X(82)}},
      {"st Ctrl-End", "\x1b[J", {X(117)}},
      {"linux F1", "\x1b[[A", {X(59)}},
      {"linux F5", "\x1b[[E", {X(63)}},
      {"linux F6", "\x1b[17~", {X(64)}},
      {"linux Home", "\x1b[1~", {X(71)}},
      {"Alt-F1 as xterm sends it", "\x1b[1;3P", {X(104)}},
      {"Shift-PgUp", "\x1b[5;2~", {std::string(view::PageUp)}},
      {"Shift-PgDn", "\x1b[6;2~", {std::string(view::PageDown)}},
      {"Ctrl-PgUp stays a key", "\x1b[5;5~", {X(132)}},
      {"wheel up, SGR", "\x1b[<64;10;5M", {std::string(view::WheelUp)}},
      {"wheel down, SGR", "\x1b[<65;10;5M", {std::string(view::WheelDown)}},
      {"wheel with Shift", "\x1b[<68;1;1M", {std::string(view::WheelUp)}},
      {"click and release", "\x1b[<0;3;4M\x1b[<0;3;4m",
       {std::string(view::Mouse), std::string(view::Mouse)}},
      {"wheel up, X10", "\x1b[M`!!", {std::string(view::WheelUp)}},
      {"click, X10, then a key", "\x1b[M !!a", {std::string(view::Mouse), "a"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes), c.keys) << c.name;
}

// What is no key and no report is read to its final byte and dropped
// whole, in bounded memory; nothing of it reaches the board.
TEST(KeyDecoder, MalformedAndEndlessSequencesAreDroppedWhole) {
  const std::vector<Case> cases = {
      {"a wheel report with a row past 64 bits", "\x1b[<65;1;18446744073709551617Mx", {"x"}},
      {"a report of 17 parameter bytes", "\x1b[<0;123456789;1234Mx", {"x"}},
      {"its tail does not leak", "\x1b[<0;1;2;3;4;5;6;7;8;9Mz", {"z"}},
      {"a button number past int", "\x1b[<9999999999;1;1Ma", {std::string(view::Mouse), "a"}},
      {"an overlong key sequence", "\x1b[1;1;1;1;1;1;1;1;1;1;5Ax", {"x"}},
      {"an overlong SS3", "\x1bO12345678901234567890Px", {"x"}},
      {"a key after it", "\x1b[11111111111111111111111~\x1b[A", {X(72)}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes), c.keys) << c.name;
  // A sequence that never ends, its bytes coming faster than the escape
  // delay, gives nothing at all, however long it runs.
  KeyDecoder d;
  DecodedKeys q;
  uint64_t now = 0;
  d.Feed(27, now, q);
  d.Feed('[', now, q);
  for (int i = 0; i < 100000; ++i) d.Feed(static_cast<uint8_t>('0' + i % 10), now += 100, q);
  d.Tick(now + KeyDecoder::kEscapeDelayUs + 1, q);
  EXPECT_TRUE(q.empty()) << q.size() << " keys leaked";
}

// Alt sent as the eighth bit by a terminal that does not speak UTF-8: a
// byte that begins no UTF-8 character, or begins one that does not go on,
// is a key with Alt; text in UTF-8 stays text.
TEST(KeyDecoder, EightBitMetaIsAltWithoutBreakingUtf8Text) {
  const std::vector<Case> cases = {
      {"Alt-a as 0xE1, then a key", "\xe1.", {X(30), "."}},
      {"Alt-x as 0xF8", "\xf8.", {X(45), "."}},
      {"Alt-1 as 0xB1", "\xb1", {X(120)}},
      {"Alt-a alone at the end", "\xe1", {X(30)}},
      {"e acute in UTF-8 is text", "\xc3\xa9", {"\x82"}},
      {"a box-drawing line in UTF-8 is text", "\xe2\x94\x80", {"\xc4"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes), c.keys) << c.name;
}

TEST(KeyDecoder, ABracketedPasteIsTakenLiterally) {
  // Between the brackets nothing is a sequence or the order to end: an
  // Esc, a Ctrl-C, a cut ESC [201 are pasted characters.
  bool interrupted = false;
  const std::vector<std::string> keys =
      Decode("a\x1b[200~x\x1b[Ay\x03\x1b[201z\xc3\xa9\x1b[201~b", &interrupted);
  EXPECT_FALSE(interrupted);
  // What came right after the only end marker was typed after the paste.
  EXPECT_EQ(keys, (std::vector<std::string>{"a", std::string(paste::Start), "x", "\x1b", "[", "A",
                                            "y", "\x03", "\x1b", "[", "2", "0", "1", "z", "\x82",
                                            std::string(paste::End), "b"}));
}

// A clipboard that holds the end marker itself (tmux passes it on) cannot
// make the rest of the paste act as keys: what follows an end marker faster
// than a hand types is held, and when another marker comes in it, all up to
// the last marker is pasted, F1's and Shift-F2's bytes among them, an
// earlier marker being text in its place. What follows the last marker in
// the same run was typed behind the paste (the terminal read late, after a
// long paste) and acts: here F1, and after a pause keys are keys anyway.
TEST(KeyDecoder, TextAfterAnEndMarkerInsideAPasteIsPastedToo) {
  KeyDecoder d;
  DecodedKeys q;
  // In two reads, 5 ms apart.
  for (unsigned char b : std::string("\x1b[200~ok\x1b[201~\x1bOP"))
    EXPECT_FALSE(d.Feed(b, 1000, q));
  for (unsigned char b : std::string("\x1b[1;2Q2\x1b[201~\x1bOP")) EXPECT_FALSE(d.Feed(b, 6000, q));
  EXPECT_FALSE(d.Tick(6000 + KeyDecoder::kPasteTailUs + 1, q));
  ASSERT_EQ(q.back(), X(59));
  q.pop_back();
  std::string text;
  std::vector<std::string> markers;
  for (const KeyCode& k : q) {
    if (IsMarkerCode(k))
      markers.push_back(k);
    else
      text += k;
  }
  EXPECT_EQ(text, "ok\x1b[201~\x1bOP\x1b[1;2Q2");
  EXPECT_EQ(markers, (std::vector<std::string>{std::string(paste::Start), std::string(paste::End)}));
  EXPECT_EQ(q.front(), std::string(paste::Start));
  EXPECT_EQ(q.back(), std::string(paste::End));
  q.clear();
  for (unsigned char b : std::string("\x1bOP")) d.Feed(b, 100000, q);
  EXPECT_EQ(std::vector<std::string>(q.begin(), q.end()), std::vector<std::string>{X(59)});
}

// Shift-F2 and Ctrl-C typed while the terminal was read behind a long paste
// come in one read with the paste's end: they act as typed, once the end
// has stood quiet. Before then nothing of them is a key.
TEST(KeyDecoder, KeysTypedBehindAPastesEndInTheSameReadAreKeys) {
  KeyDecoder d;
  DecodedKeys q;
  for (unsigned char b : std::string("\x1b[200~ab\x1b[201~\x1b[1;2Qc\x03z"))
    EXPECT_FALSE(d.Feed(b, 1000, q));
  EXPECT_EQ(std::vector<std::string>(q.begin(), q.end()),
            (std::vector<std::string>{std::string(paste::Start), "a", "b"}));
  EXPECT_FALSE(d.Tick(1000 + KeyDecoder::kPasteTailUs, q));
  EXPECT_TRUE(d.Tick(1000 + KeyDecoder::kPasteTailUs + 1, q));  // the Ctrl-C
  EXPECT_EQ(std::vector<std::string>(q.begin(), q.end()),
            (std::vector<std::string>{std::string(paste::Start), "a", "b", std::string(paste::End),
                                      X(85), "c"}));
  // The same, decided by the next byte rather than by the clock.
  KeyDecoder e;
  DecodedKeys r;
  for (unsigned char b : std::string("\x1b[200~ab\x1b[201~\x03")) EXPECT_FALSE(e.Feed(b, 1000, r));
  EXPECT_TRUE(e.Feed('z', 1000 + KeyDecoder::kPasteTailUs + 1, r));
  EXPECT_EQ(r.back(), std::string(paste::End));
}

// More held after a marker than a paste's end brings, and no other marker:
// the marker was text and the paste goes on, its end still to come.
TEST(KeyDecoder, AMarkerFollowedByMoreThanATailHoldsIsText) {
  KeyDecoder d;
  DecodedKeys q;
  std::string bytes = "\x1b[200~\x1b[201~" + std::string(KeyDecoder::kPasteTailBytes, 'k') +
                      "\x1b[201~\x1bOP";
  for (unsigned char b : bytes) EXPECT_FALSE(d.Feed(b, 1000, q));
  EXPECT_FALSE(d.Tick(1000 + KeyDecoder::kPasteTailUs + 1, q));
  std::string text;
  for (std::size_t i = 1; i + 2 < q.size(); ++i) text += q[i];
  EXPECT_EQ(q.front(), std::string(paste::Start));
  EXPECT_EQ(text, "\x1b[201~" + std::string(KeyDecoder::kPasteTailBytes, 'k'));
  EXPECT_EQ(q[q.size() - 2], std::string(paste::End));
  EXPECT_EQ(q.back(), X(59));
}

// Where the configuration makes Ctrl-C a key, it is byte 3 in turn, after
// what stood before it, and a pasted one is text as ever.
TEST(KeyDecoder, CtrlCAsAKeyComesInTurn) {
  KeyDecoder d;
  d.SetCtrlCIsKey(true);
  DecodedKeys q;
  for (unsigned char b : std::string("a\x1b\x03" "b\x1b[200~\x03\x1b[201~")) EXPECT_FALSE(d.Feed(b, 1000, q));
  EXPECT_FALSE(d.Tick(1000 + KeyDecoder::kPasteTailUs + 1, q));
  EXPECT_EQ(std::vector<std::string>(q.begin(), q.end()),
            (std::vector<std::string>{"a", "\x1b", "\x03", "b", std::string(paste::Start), "\x03",
                                      std::string(paste::End)}));
}

TEST(KeyDecoder, CtrlCIsNoKeyButTheOrderToEnd) {
  bool interrupted = false;
  EXPECT_TRUE(Decode("a\x03", &interrupted) == std::vector<std::string>{"a"});
  EXPECT_TRUE(interrupted);
  Decode("\x1b[1;5", &interrupted);
  EXPECT_FALSE(interrupted);
}

TEST(KeyDecoder, EscStandsAloneOnlyAfterTheDelay) {
  KeyDecoder d;
  DecodedKeys q;
  d.Feed(27, 0, q);
  d.Tick(KeyDecoder::kEscapeDelayUs, q);
  EXPECT_TRUE(q.empty());
  EXPECT_TRUE(d.Pending());
  // A letter after the delay is a letter, not Alt with it.
  d.Feed('x', KeyDecoder::kEscapeDelayUs + 1, q);
  EXPECT_EQ(std::vector<std::string>(q.begin(), q.end()), (std::vector<std::string>{"\x1b", "x"}));
}

TEST(KeyDecoder, ASequenceSplitAcrossReadsStillDecodes) {
  const std::string seq = "\x1b[24;5~";
  for (std::size_t cut = 1; cut < seq.size(); ++cut) {
    KeyDecoder d;
    DecodedKeys q;
    for (std::size_t i = 0; i < seq.size(); ++i)
      d.Feed(static_cast<uint8_t>(seq[i]), i < cut ? 0 : 20000, q);
    d.Tick(20000, q);
    EXPECT_EQ(std::vector<std::string>(q.begin(), q.end()), std::vector<std::string>{X(138)}) << cut;
  }
}

}  // namespace
}  // namespace qb7
