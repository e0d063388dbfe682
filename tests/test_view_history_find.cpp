// The history finds and keeps: in the history view / searches back, n and
// N move between matches, t shows each row's time, s writes every kept row
// to a file; headless, through the same view the terminal thread uses.
#include <gtest/gtest.h>

#include <sstream>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "harness.hpp"
#include "keys/keys.hpp"
#include "view/history_search.hpp"

namespace qb7 {
namespace {

// J27 sends numbered lines; one of them says what went wrong.
struct HistoryBench : test::Bench {
  static constexpr int kLines = 12000;
  static constexpr int kPanicLine = 7000;  // 5,000 rows before the last
  HistoryBench() {
    folder.Write("Qb7_Uart.cfg", "' nothing\n");
    RecordMessages(true);
    std::string text;
    for (int i = 1; i <= kLines; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "line %05d%s\r\n", i, i == kPanicLine ? " Kernel PANIC" : "");
      text += line;
    }
    board->FarEndOn(2)->outbox().Send(text, 300000);
    frontend.AddKeyAt(1000, "2");
  }
  // Keys one after the other from a time on, 50 ms apart.
  uint64_t Keys(uint64_t atUs, const std::vector<std::string>& keys) {
    for (const auto& k : keys) frontend.AddKeyAt(atUs += 50000, k);
    return atUs;
  }
  uint64_t Type(uint64_t atUs, const std::string& text) {
    std::vector<std::string> keys;
    for (char c : text) keys.push_back(std::string(1, c));
    return Keys(atUs, keys);
  }
  // The window's rows as text at a time.
  static void ShotAt(test::Bench& b, uint64_t atUs, std::vector<std::string>& rows,
                     Picture* picture = nullptr) {
    b.frontend.AddActionAt(atUs, [&b, &rows, picture] {
      const Picture& p = b.frontend.Shown();
      rows.clear();
      for (int r = 0; r < p.rows; ++r) rows.push_back(p.RowText(r));
      if (picture) *picture = p;
    });
  }
  void ShotAt(uint64_t atUs, std::vector<std::string>& rows, Picture* picture = nullptr) {
    ShotAt(*this, atUs, rows, picture);
  }
  int Leave(uint64_t atUs) {
    frontend.AddKeyAt(atUs, std::string(keys::KeyShiftF2));
    frontend.AddKeyAt(atUs + 100000, "q");
    return Run();
  }
  // All sent by then: 144 KB at 115200 take 12.5 s.
  static constexpr uint64_t kAllInUs = 14000000;
};

int RowWith(const std::vector<std::string>& rows, const std::string& text) {
  for (std::size_t r = 0; r < rows.size(); ++r)
    if (rows[r].find(text) != std::string::npos) return static_cast<int>(r);
  return -1;
}

// q and Esc, typed to leave the history, leave it and reach nothing on the
// far end; live they are the board's like any key.
TEST(HistoryFind, QAndEscLeaveTheHistoryAndAreNeverSent) {
  HistoryBench b;
  std::vector<std::string> afterQ, afterEsc;
  uint64_t t = b.Keys(HistoryBench::kAllInUs, {std::string(view::PageUp), "q"});
  b.ShotAt(t + 1000, afterQ);
  t = b.Keys(t, {std::string(view::WheelUp), std::string(keys::KeyEsc)});
  b.ShotAt(t + 1000, afterEsc);
  t = b.Keys(t, {"x"});
  ASSERT_EQ(b.Leave(t + 500000), 0);
  EXPECT_EQ(RowWith(afterQ, "rows back"), -1) << "q left the view in the history";
  EXPECT_EQ(RowWith(afterEsc, "rows back"), -1) << "Esc left the view in the history";
  EXPECT_EQ(b.ports.Transmitted(), "x");
}

TEST(HistoryFind, SearchFindsARowThatScrolledOffLongAgoAndMarksIt) {
  HistoryBench b;
  std::vector<std::string> found, next, missed, live;
  Picture picture;
  uint64_t t = b.Keys(HistoryBench::kAllInUs, {std::string(view::PageUp)});
  t = b.Type(t, "/panic");
  t = b.Keys(t, {std::string(keys::KeyEnter)});
  b.ShotAt(t + 1000, found, &picture);
  t = b.Keys(t, {"n"});  // no match further back
  b.ShotAt(t + 1000, next);
  t = b.Type(t, "/no such text");
  t = b.Keys(t, {std::string(keys::KeyEnter)});
  b.ShotAt(t + 1000, missed);
  t = b.Keys(t, {"k"});  // any other key: live, and to the board
  b.ShotAt(t + 1000, live);
  ASSERT_EQ(b.Leave(t + 500000), 0);

  const int row = RowWith(found, "line 07000 Kernel PANIC");
  ASSERT_GE(row, 0) << "the match is not in view:\n" << testing::PrintToString(found);
  EXPECT_EQ(row, 24 / 3);  // a third of the way down
  EXPECT_NE(found[0].find("rows back"), std::string::npos);
  // "PANIC" is marked, the rest of the row not.
  EXPECT_EQ(picture.At(row, 18).bg, 14);
  EXPECT_EQ(picture.At(row, 22).bg, 14);
  EXPECT_EQ(picture.At(row, 17).bg, 0);
  EXPECT_EQ(picture.At(row, 23).bg, 0);
  EXPECT_EQ(RowWith(next, "No more matches: panic"), 24);
  EXPECT_EQ(RowWith(next, "line 07000 Kernel PANIC"), row);  // nothing moved
  EXPECT_EQ(RowWith(missed, "Not found: no such text"), 24);
  EXPECT_EQ(RowWith(missed, "line 07000 Kernel PANIC"), row);
  EXPECT_EQ(RowWith(live, "rows back"), -1);
  EXPECT_EQ(b.ports.Transmitted(), "k");  // and only that key reached the board
}

TEST(HistoryFind, NGoesBackAndShiftNComesForward) {
  HistoryBench b;
  std::vector<std::string> first, second, back;
  uint64_t t = b.Keys(HistoryBench::kAllInUs, {std::string(view::PageUp)});
  t = b.Type(t, "/line 1100");  // line 11000 .. 11009
  t = b.Keys(t, {std::string(keys::KeyEnter)});
  b.ShotAt(t + 1000, first);
  t = b.Keys(t, {"n", "n", "n"});
  b.ShotAt(t + 1000, second);
  t = b.Keys(t, {"N"});
  b.ShotAt(t + 1000, back);
  ASSERT_EQ(b.Leave(t + 500000), 0);
  // The newest match in view or above it first: line 11009.
  EXPECT_EQ(RowWith(first, "line 11009"), 8);
  // Each n one match further back; they stand in view together.
  EXPECT_GE(RowWith(second, "line 11006"), 0);
  EXPECT_GE(RowWith(back, "line 11007"), 0);
}

TEST(HistoryFind, TheGutterShowsEachRowsTime) {
  HistoryBench b;
  std::vector<std::string> with, versus, without;
  uint64_t t = b.Keys(HistoryBench::kAllInUs, {std::string(view::PageUp), "t"});
  b.ShotAt(t + 1000, with);
  t = b.Keys(t, {"t"});
  b.ShotAt(t + 1000, versus);
  t = b.Keys(t, {"t"});
  b.ShotAt(t + 1000, without);
  ASSERT_EQ(b.Leave(t + 500000), 0);
  // "S" and seconds since the session started, then the row.
  const std::string& row = with[5];
  ASSERT_EQ(row[0], 'S') << row;
  const double seconds = std::stod(row.substr(1, 10));
  EXPECT_GT(seconds, 12.0);  // the stream's last rows, on the session's clock
  EXPECT_LT(seconds, 14.0);
  EXPECT_EQ(row.substr(12, 5), "line ");
  // Again: the last boot's column beside the times, blank where no boot was compared.
  EXPECT_EQ(versus[5].substr(0, 12), row.substr(0, 12));
  EXPECT_EQ(versus[5].substr(12, 15), std::string(10, ' ') + "line ");
  EXPECT_EQ(without[5].substr(0, 5), "line ");
}

TEST(HistoryFind, SWritesEveryKeptRowToAFileAndSaysWhere) {
  HistoryBench b;
  std::vector<std::string> saved;
  uint64_t t = b.Keys(HistoryBench::kAllInUs, {std::string(view::PageUp), "s"});
  b.ShotAt(t + 1000, saved);
  ASSERT_EQ(b.Leave(t + 500000), 0);
  std::string name;
  for (const auto& entry : std::filesystem::directory_iterator(b.folder.path()))
    if (entry.path().filename().string().rfind("Term-history-", 0) == 0)
      name = entry.path().filename().string();
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name.size(), std::string("Term-history-20260101-000014.txt").size());
  EXPECT_NE(RowWith(saved, "History saved (10025 rows): " + b.folder.path() + "/" + name), -1)
      << saved[24];
  // The last 10,000 rows that left the screen (the status line, two empty
  // rows and lines 1..11975 left), then the screen's 25: under the header
  // and the session's divider, each with its time and what wrote it.
  const std::string text = b.folder.Read(name);
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 10027u);
  EXPECT_EQ(lines[0], kSavedHistoryHeader);
  EXPECT_EQ(lines[1].substr(0, 43), "==== session 1: route 2 \"CON-5Pins Console\"");
  EXPECT_NE(lines[1].find("115200 baud, started 2026-01-01T00:00:00."), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2][0], 'S');
  EXPECT_EQ(lines[2].substr(12), "| line 01976");
  EXPECT_EQ(lines.back().substr(12), "| line 12000");
  // The times grow as the lines came.
  EXPECT_LT(std::stod(lines[2].substr(1, 10)), std::stod(lines.back().substr(1, 10)));
}

TEST(HistoryFind, AFullDiskLeavesNoHalfFileAndSaysSo) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  HistoryBench b;
  rlimit small = saved;
  small.rlim_cur = 4096;
  std::vector<std::string> shown;
  uint64_t t = b.Keys(HistoryBench::kAllInUs, {std::string(view::PageUp)});
  b.frontend.AddActionAt(t + 10000, [&] { setrlimit(RLIMIT_FSIZE, &small); });
  t = b.Keys(t + 20000, {"s"});
  b.frontend.AddActionAt(t + 10000, [&] { setrlimit(RLIMIT_FSIZE, &saved); });
  b.ShotAt(t + 20000, shown);
  ASSERT_EQ(b.Leave(t + 500000), 0);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(shown[24].substr(0, 33), "History not saved: Term-history-2");
  EXPECT_NE(shown[24].find("(File too large)"), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(b.folder.path()))
    EXPECT_EQ(entry.path().filename().string().find("Term-history"), std::string::npos)
        << entry.path();
}

// A message line raised while the view stands in the history brings the
// view back to the live screen: it is seen, and what it holds back is
// never held longer than the operator can see why.
TEST(HistoryFind, AMessageLineBringsTheViewBackLive) {
  test::Bench b;
  b.folder.Write("Qb7_Uart.cfg", "' nothing\n");
  std::string lines;
  for (int i = 1; i <= 60; ++i) lines += "line " + std::to_string(i) + "\r\n";
  b.board->FarEndOn(2)->outbox().Send(lines, 300000);
  b.frontend.AddKeyAt(1000, "2");
  b.frontend.AddKeyAt(1000000, std::string(view::PageUp));
  std::vector<std::string> back, shown;
  HistoryBench::ShotAt(b, 1100000, back);
  // The log removed under the session: a message line.
  b.frontend.AddActionAt(1200000, [&] { std::filesystem::remove(b.folder.path() + "/Term.txt"); });
  HistoryBench::ShotAt(b, 1500000, shown);
  b.frontend.AddKeyAt(2000000, "x");
  b.frontend.AddKeyAt(2500000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(2600000, "q");
  ASSERT_EQ(b.Run(), 0);
  EXPECT_NE(RowWith(back, "rows back"), -1);
  EXPECT_EQ(RowWith(shown, "rows back"), -1);
  EXPECT_EQ(RowWith(shown, "Log removed; a new one is written: Term.txt"), 23);
}

TEST(HistorySearch, CaseIsIgnoredAndAPatternLongerThanARowMatchesNothing) {
  Row row{};
  for (Cell& c : row) c.ch = ' ';
  const std::string text = "Kernel Panic at 0x80";
  for (std::size_t i = 0; i < text.size(); ++i) row[i].ch = static_cast<uint8_t>(text[i]);
  EXPECT_EQ(FindInRow(row, "panic"), 7);
  EXPECT_EQ(FindInRow(row, "PANIC AT"), 7);
  EXPECT_EQ(FindInRow(row, "panic", 8), -1);
  EXPECT_EQ(FindInRow(row, "0x80 "), 16);  // up to the row's last column
  EXPECT_EQ(FindInRow(row, std::string(81, ' ')), -1);
  EXPECT_EQ(FindInRow(row, ""), -1);
}

// Beyond ASCII, for the letters the screen shows in both cases (the PC
// code page's bytes, as the decoder turns typed UTF-8 into them).
TEST(HistorySearch, CaseIsIgnoredForTheCodePagesAccentedAndGreekLettersToo) {
  Row row{};
  for (Cell& c : row) c.ch = ' ';
  const std::string text = "caf\x82 Gr\x81n \xe5";  // café Grün σ
  for (std::size_t i = 0; i < text.size(); ++i) row[i].ch = static_cast<uint8_t>(text[i]);
  EXPECT_EQ(FindInRow(row, "CAF\x90"), 0);  // CAFÉ
  EXPECT_EQ(FindInRow(row, "GR\x9aN"), 5);  // GRÜN
  EXPECT_EQ(FindInRow(row, "\xe4"), 10);    // Σ
  EXPECT_EQ(FindInRow(row, "cafe"), -1);     // the accent is no case
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

// A mark made in the history while the lines stream in: recorded in
// Term.times where the log stood, a row of its own in the history, and in
// the saved history in place, with its time; an empty note is numbered.
TEST(HistoryFind, AMarkIsRecordedWhereTheLogStoodAndSavedInPlace) {
  HistoryBench b;
  uint64_t t = b.Keys(6000000, {std::string(view::PageUp), "m"});
  t = b.Type(t, "power cycled");
  t = b.Keys(t, {std::string(keys::KeyEnter)});
  t = b.Keys(t + 1000000, {std::string(view::PageUp), "m", std::string(keys::KeyEnter)});
  t = b.Keys(HistoryBench::kAllInUs, {std::string(view::PageUp), "s"});
  ASSERT_EQ(b.Leave(t + 500000), 0);
  const std::string log = b.folder.Read("Term.txt");
  // Term.times: both marks, in order, each at a byte of the log.
  std::istringstream times(b.folder.Read("Term.times"));
  std::vector<std::pair<uint64_t, std::string>> marks;
  for (std::string record; std::getline(times, record);) {
    const std::size_t what = record.rfind('\t');
    if (record.compare(what + 1, 6, "mark: ") == 0)
      marks.emplace_back(std::stoull(record.substr(0, record.find('\t'))), record.substr(what + 1));
  }
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_EQ(marks[0].second, "mark: power cycled");
  EXPECT_EQ(marks[1].second, "mark: 2");
  EXPECT_LT(marks[0].first, marks[1].first);
  EXPECT_GT(marks[0].first, 0u);
  EXPECT_LT(marks[1].first, log.size());
  // The saved history: each mark a row of its own, after the row received
  // just before the log reached its offset.
  std::string name;
  for (const auto& entry : std::filesystem::directory_iterator(b.folder.path()))
    if (entry.path().filename().string().rfind("Term-history-", 0) == 0) name = entry.path().filename();
  std::istringstream saved(b.folder.Read(name));
  std::vector<std::string> rows;
  for (std::string row; std::getline(saved, row);) rows.push_back(row);
  for (const auto& mark : marks) {
    const uint64_t offset = mark.first;
    const std::string& what = mark.second;
    const auto at = std::find_if(rows.begin(), rows.end(), [&](const std::string& r) {
      return r.size() > 14 && r.substr(12) == "* ---- " + what;
    });
    ASSERT_NE(at, rows.end()) << what;
    EXPECT_TRUE((*at)[0] == 'S') << *at;  // its time, on the session's clock
    const std::string before = (at - 1)->substr(14);  // "| line 04321"
    ASSERT_EQ((at - 1)->substr(12, 2), "| ");
    // The log up to the mark ends with that row's text (and its line end,
    // as far as it had come).
    std::string upTo = log.substr(0, offset);
    while (!upTo.empty() && (upTo.back() == '\r' || upTo.back() == '\n')) upTo.pop_back();
    EXPECT_TRUE(upTo.size() >= before.size() &&
                upTo.compare(upTo.size() - before.size(), before.size(), before) == 0)
        << what << " after " << before;
  }
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

// The history outlives the program: a run that starts where an earlier one
// left its logs shows their rows in the history, under a divider naming
// each session, with their times and marks, and saves them too.
TEST(HistoryFind, TheNextRunsHistoryBeginsWithTheSessionsBefore) {
  std::string log, times, kept, keptTimes;
  {
    test::Bench first;
    first.folder.Write("Qb7_Uart.cfg", "' nothing\n");
    first.board->FarEndOn(2)->outbox().Send("first session\r\n", 300000);
    first.frontend.AddKeyAt(1000, "2");
    first.frontend.AddKeyAt(1000000, std::string(keys::KeyShiftF2));
    first.board->FarEndOn(2)->outbox().Send("second session\r\nits last line\r\n", 1500000);
    first.frontend.AddKeyAt(1100000, "2");
    first.frontend.AddKeyAt(1800000, std::string(view::PageUp));
    first.frontend.AddKeyAt(1850000, "m");
    const std::string note = "cable moved";
    for (std::size_t i = 0; i < note.size(); ++i)
      first.frontend.AddKeyAt(1860000 + 1000 * i, std::string(1, note[i]));
    first.frontend.AddKeyAt(1900000, std::string(keys::KeyEnter));
    first.frontend.AddKeyAt(2500000, std::string(keys::KeyShiftF2));
    first.frontend.AddKeyAt(2600000, "q");
    ASSERT_EQ(first.Run(), 0);
    log = first.folder.Read("Term.txt");
    times = first.folder.Read("Term.times");
    for (const auto& entry : std::filesystem::directory_iterator(first.folder.path()))
      if (entry.path().extension() == ".times" && entry.path().filename().string().rfind("Term-2", 0) == 0) {
        keptTimes = first.folder.Read(entry.path().filename());
        kept = entry.path().stem();
      }
  }
  ASSERT_FALSE(kept.empty());
  test::Bench next;
  next.folder.Write("Qb7_Uart.cfg", "' nothing\n");
  next.folder.Write("Term.txt", log);
  next.folder.Write("Term.times", times);
  next.folder.Write(kept + ".txt", "first session\r\n");
  next.folder.Write(kept + ".times", keptTimes);
  std::vector<std::string> shown;
  next.frontend.AddKeyAt(100000, std::string(view::PageUp));
  HistoryBench::ShotAt(next, 150000, shown);
  next.frontend.AddKeyAt(200000, "s");
  next.frontend.AddKeyAt(300000, "q");
  next.frontend.AddKeyAt(400000, "q");
  ASSERT_EQ(next.Run(), 0);
  // In the menu, Shift-PgUp shows the sessions of the run before.
  EXPECT_NE(RowWith(shown, "its last line"), -1);
  EXPECT_NE(RowWith(shown, "---- mark: cable moved"), -1);
  EXPECT_NE(RowWith(shown, "==== 2026-01-01 00:00:01 route 2 \"CON-5Pins Console\" 115200 baud ===="), -1);
  std::string name;
  for (const auto& entry : std::filesystem::directory_iterator(next.folder.path()))
    if (entry.path().filename().string().rfind("Term-history-", 0) == 0) name = entry.path().filename();
  ASSERT_FALSE(name.empty());
  const std::string saved = next.folder.Read(name);
  // Oldest first: the first session, then the second with its mark, each
  // line with the time it came.
  const std::size_t first = saved.find("| first session\n");
  const std::size_t second = saved.find("| second session\n");
  const std::size_t mark = saved.find("* ---- mark: cable moved\n");
  ASSERT_NE(first, std::string::npos) << saved;
  ASSERT_NE(second, std::string::npos) << saved;
  ASSERT_NE(mark, std::string::npos) << saved;
  EXPECT_LT(first, second);
  EXPECT_LT(second, mark);
  const std::size_t row = saved.rfind('\n', second) + 1;
  EXPECT_EQ(saved[row], 'S');
  EXPECT_GT(std::stod(saved.substr(row + 1, 10)), 0.3);
}

}  // namespace
}  // namespace qb7

namespace qb7 {
namespace {

// x in the history: the bytes received for the rows in view, from
// Term.raw, as a hex dump, the row a receive error came with marked.
TEST(HistoryFind, XShowsTheBytesOfTheRowsInViewWithTheErrorsMarked) {
  test::Bench b;
  b.folder.Write("Qb7_Uart.cfg", "' nothing\n");
  b.RecordMessages(true);
  std::string text;
  for (int i = 1; i <= 60; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "row %02d \x1b[3%dm\x01\x7f\xb0\x1b[0m\r\n", i, i % 8);
    text += line;
  }
  b.board->FarEndOn(2)->outbox().Send(text.substr(0, text.size() / 2), 300000);
  b.board->FarEndOn(2)->outbox().Send(text.substr(text.size() / 2), 600000);
  // Noise on the line as the second half comes.
  b.frontend.AddActionAt(600000, [&] { b.board->InjectFraming(); });
  b.frontend.AddKeyAt(1000, "2");
  b.frontend.AddKeyAt(1500000, " ");  // the framing message line
  b.frontend.AddKeyAt(1600000, std::string(view::PageUp));
  b.frontend.AddKeyAt(1650000, "x");
  std::vector<std::string> dump, next, after;
  HistoryBench::ShotAt(b, 1700000, dump);
  b.frontend.AddKeyAt(1720000, std::string(view::PageDown));  // further into the dump
  HistoryBench::ShotAt(b, 1730000, next);
  b.frontend.AddKeyAt(1750000, "q");
  HistoryBench::ShotAt(b, 1800000, after);
  b.frontend.AddKeyAt(1900000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(2000000, "q");
  ASSERT_EQ(b.Run(), 0);
  ASSERT_GE(dump.size(), 24u);
  const std::string raw = b.folder.Read("Term.raw");
  ASSERT_EQ(raw, text);
  // Each dump line: the offset, 16 bytes in hex, the same as text; every
  // line is the raw file's at its offset.
  int lines = 0;
  bool marked = false;
  for (std::size_t r = 0; r + 1 < dump.size(); ++r) {
    const std::string& line = dump[r];
    if (line.size() < 60 || line.find('|') == std::string::npos) continue;
    const uint64_t offset = std::stoull(line.substr(0, 8), nullptr, 16);
    ASSERT_LT(offset, raw.size()) << line;
    marked = marked || line[8] == '!';
    for (std::size_t i = 0; i < 16 && offset + i < raw.size(); ++i) {
      const std::size_t at = 10 + 3 * i + (i >= 8 ? 1 : 0);
      EXPECT_EQ(std::stoul(line.substr(at, 2), nullptr, 16), static_cast<unsigned char>(raw[offset + i]))
          << line;
    }
    ++lines;
  }
  EXPECT_GE(lines, 10);
  for (const std::string& line : next) marked = marked || (line.size() > 60 && line[8] == '!');
  EXPECT_TRUE(marked) << "no line marks the framing error";
  EXPECT_NE(next.front().substr(0, 8), dump.front().substr(0, 8));
  EXPECT_EQ(dump.back().substr(0, 9), "Term.raw ");
  // Any key goes back to the history's rows.
  EXPECT_NE(RowWith(after, "row "), -1);
  EXPECT_EQ(RowWith(after, "Term.raw "), -1);
}

}  // namespace
}  // namespace qb7
