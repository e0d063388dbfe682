// The view: window size, cursor and scroll in, rows and columns shown out;
// the history's bound; the rows that leave the screen.
#include <gtest/gtest.h>

#include <thread>

#include "harness.hpp"
#include "session/tool_keys_help.hpp"
#include "keys/keys.hpp"
#include "terminal/row_ring.hpp"
#include "view/history_store.hpp"
#include "view/view.hpp"
#include "view/viewer.hpp"

namespace qb7 {
namespace {

TEST(View, PlacesTheScreenInEveryWindow) {
  const struct {
    const char* name;
    int winRows, winCols, cursorRow, cursorCol;
    ViewPlace last;
    uint64_t history;
    bool tooSmall;
    int rows, cols, top, left, back;
    bool above, below, leftHidden, rightHidden;
  } table[] = {
      {"80x25 shows it all", 25, 80, 25, 80, {}, 0, false, 25, 80, 1, 1, 0, false, false, false, false},
      {"larger: at the top left", 40, 120, 3, 1, {}, 0, false, 25, 80, 1, 1, 0, false, false, false, false},
      {"80x24, the menu", 24, 80, 17, 1, {}, 0, false, 24, 80, 1, 1, 0, false, true, false, false},
      {"80x24, a full session", 24, 80, 25, 1, {}, 0, false, 24, 80, 2, 1, 0, true, false, false, false},
      {"80x24, the message line", 24, 80, 24, 79, {}, 0, false, 24, 80, 1, 1, 0, false, true, false, false},
      {"moves only when the cursor leaves", 24, 80, 10, 1, {2, 1, 0}, 0, false, 24, 80, 2, 1, 0, true, false, false, false},
      {"the cursor above: follows it", 24, 80, 1, 1, {2, 1, 0}, 0, false, 24, 80, 1, 1, 0, false, true, false, false},
      {"60x20, both ways", 20, 60, 24, 70, {}, 0, false, 20, 60, 5, 11, 0, true, true, true, true},
      {"60x20, the right edge", 20, 60, 25, 80, {}, 0, false, 20, 60, 6, 21, 0, true, false, true, false},
      {"40x6 is enough", 6, 40, 1, 1, {}, 0, false, 6, 40, 1, 1, 0, false, true, false, true},
      {"39 columns are not", 20, 39, 1, 1, {}, 0, true, 25, 80, 1, 1, 0, false, false, false, false},
      {"5 rows are not", 5, 80, 1, 1, {}, 0, true, 25, 80, 1, 1, 0, false, false, false, false},
      {"scrolled back", 24, 80, 25, 1, {2, 1, 30}, 100, false, 24, 80, 2, 1, 30, true, false, false, false},
      {"no further than the history", 24, 80, 25, 1, {2, 1, 500}, 100, false, 24, 80, 2, 1, 101, true, false, false, false},
      {"never below live", 25, 80, 25, 1, {1, 1, -4}, 100, false, 25, 80, 1, 1, 0, false, false, false, false},
      // Column 1 whenever it fits with the cursor's, where the view stood before.
      {"71x22, back at column 1", 22, 71, 25, 1, {4, 10, 0}, 0, false, 22, 71, 4, 1, 0, true, false, false, true},
      {"71x22, the cursor within 71", 22, 71, 25, 71, {4, 10, 0}, 0, false, 22, 71, 4, 1, 0, true, false, false, true},
      {"71x22, the cursor past 71", 22, 71, 25, 75, {4, 1, 0}, 0, false, 22, 71, 4, 5, 0, true, false, true, true},
  };
  for (const auto& t : table) {
    ViewInput in{t.winRows, t.winCols, t.cursorRow, t.cursorCol, t.history};
    const ViewLayout l = PlaceView(in, t.last);
    EXPECT_EQ(l.tooSmall, t.tooSmall) << t.name;
    if (t.tooSmall) continue;
    EXPECT_EQ(l.rows, t.rows) << t.name;
    EXPECT_EQ(l.cols, t.cols) << t.name;
    EXPECT_EQ(l.place, (ViewPlace{t.top, t.left, t.back})) << t.name;
    EXPECT_EQ(l.hiddenAbove, t.above) << t.name;
    EXPECT_EQ(l.hiddenBelow, t.below) << t.name;
    EXPECT_EQ(l.hiddenLeft, t.leftHidden) << t.name;
    EXPECT_EQ(l.hiddenRight, t.rightHidden) << t.name;
  }
}

// A screen of 25 numbered rows that has let `gone` rows go before it, kept
// with their colours.
struct Scrolled {
  explicit Scrolled(int gone) {
    screen.SetRowSink(&sink);
    for (int i = 1; i <= gone + 25; ++i) {
      screen.SetColours(i % 16, 0);
      screen.Write("row " + std::to_string(i) + (i < gone + 25 ? "\r\n" : ""));
    }
  }
  struct Sink final : RowSink {
    void Keep(const Row& row, uint64_t number, const RowTime& time) override {
      history.Keep(row, number, time);
    }
    HistoryStore history;
  } sink;
  Screen screen;
  std::string Text(const Picture& p, int r) const {
    std::string s = p.RowText(r);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
  }
};

TEST(View, DrawsHistoryRowsWithTheirColoursAndSaysHowFarBack) {
  Scrolled s(40);  // rows 1..40 left the screen; 41..65 are on it
  ASSERT_EQ(s.screen.RowsGone(), 40u);
  ViewInput in{24, 80, 25, 7, 40};
  const ViewLayout l = PlaceView(in, {2, 1, 10});
  Picture p;
  DrawView(s.screen, s.sink.history, l, 24, 80, p);
  // Top row: screen row 2 - 10 = -8, i.e. the ninth newest row gone: 32.
  EXPECT_EQ(s.Text(p, 0).substr(0, 6), "row 32");
  EXPECT_NE(p.RowText(0).find(" history: 10 rows back "), std::string::npos);
  EXPECT_EQ(p.At(0, 0).fg, 32 % 16);
  EXPECT_EQ(s.Text(p, 9), "row 41");  // screen row 1
  EXPECT_EQ(p.At(9, 0).fg, 41 % 16);
  EXPECT_EQ(p.cursorRow, -1);  // no cursor in the history
  EXPECT_EQ(p.At(23, 79).ch, 0x1F);  // more below
}

// After a burst the cursor waits at the end of the last row with its line
// break pending: the next text starts at column 1, so the view shows column
// 1 (where the lines' numbers are), not the columns round column 80.
TEST(View, AfterABurstANarrowWindowShowsWhereTheLinesStart) {
  Frame frame;
  Screen& screen = frame.screen;
  for (int i = 1; i <= 30; ++i) screen.Write("line " + std::to_string(i) + "\r\n");
  ASSERT_TRUE(screen.LineBreakPending());
  Viewer viewer;
  viewer.SetWindow(22, 71);
  viewer.SetFrame(frame);
  const Picture& p = viewer.Draw();
  EXPECT_EQ(p.RowText(21).substr(0, 7), "line 30");
  EXPECT_EQ(p.RowText(20).substr(0, 7), "line 29");
}

// A window taller than the screen and the counts' row: the rows above the
// live screen are the history's latest, said at their top right; the screen
// keeps its place at the bottom with its cursor; the wheel goes on from
// there into older rows.
TEST(View, ATallWindowShowsTheHistorysLatestRowsAboveTheLiveScreen) {
  Scrolled s(100);  // rows 1..100 left the screen; 101..125 are on it
  ViewInput in{50, 80, 25, 8, 100};
  ViewLayout layout = PlaceView(in, {});
  ASSERT_EQ(layout.above, 24);  // 50 rows: 24 above, 25 of screen, 1 for the counts
  Picture p;
  DrawView(s.screen, s.sink.history, layout, 50, 80, p);
  EXPECT_EQ(s.Text(p, 0).substr(0, 6), "row 77");
  EXPECT_NE(p.RowText(0).find(std::string(kAboveTag)), std::string::npos);
  EXPECT_EQ(s.Text(p, 23), "row 100");
  EXPECT_EQ(s.Text(p, 24), "row 101");
  EXPECT_EQ(s.Text(p, 48), "row 125");
  EXPECT_EQ(p.cursorRow, 48);
  // Few rows gone: no more above than there are.
  Scrolled few(3);
  layout = PlaceView({50, 80, 25, 6, 3}, {});
  EXPECT_EQ(layout.above, 3);
  DrawView(few.screen, few.sink.history, layout, 50, 80, p);
  EXPECT_EQ(few.Text(p, 3), "row 4");
  // Scrolled back 10: the same window, ten rows older.
  layout = PlaceView(in, {1, 1, 10});
  DrawView(s.screen, s.sink.history, layout, 50, 80, p);
  EXPECT_EQ(s.Text(p, 24), "row 91");
  EXPECT_EQ(s.Text(p, 48).substr(0, 7), "row 115");
}

// b in the history offers the line speeds on the bottom row; a place
// picks one (once) and the view goes back live; any other key picks none.
TEST(View, BInTheHistoryPicksALineSpeed) {
  Frame frame;
  Viewer viewer;
  struct ToViewer final : RowSink {
    explicit ToViewer(Viewer& v) : viewer(v) {}
    void Keep(const Row& row, uint64_t number, const RowTime& time) override {
      viewer.Keep(row, number, time);
    }
    Viewer& viewer;
  } sink(viewer);
  frame.screen.SetRowSink(&sink);
  for (int i = 1; i <= 40; ++i) frame.screen.Write("line " + std::to_string(i) + "\r\n");
  frame.screen.SetRowSink(nullptr);
  viewer.SetFrame(frame);
  EXPECT_FALSE(viewer.Takes("b"));  // live, b is the board's
  viewer.OnKey(KeyCode(view::PageUp));
  ASSERT_TRUE(viewer.ScrolledBack());
  ASSERT_TRUE(viewer.Takes("b"));
  viewer.OnKey("b");
  EXPECT_EQ(viewer.Draw().RowText(24).substr(0, 39), "Speed:  1 9600  2 19200  3 38400  4 576");
  ASSERT_TRUE(viewer.Takes("9"));
  viewer.OnKey("9");  // no such place: the speed stays
  EXPECT_FALSE(viewer.TakeSpeed());
  EXPECT_TRUE(viewer.ScrolledBack());
  viewer.OnKey("b");
  viewer.OnKey("3");
  EXPECT_EQ(viewer.TakeSpeed(), 3);
  EXPECT_EQ(speed::FromOrder(speed::Order(3)), 38400);
  EXPECT_EQ(speed::FromOrder("\xfe"), 0);
  EXPECT_EQ(speed::FromOrder(std::string{'\xfe', 9}), 0);
  EXPECT_FALSE(viewer.TakeSpeed());
  EXPECT_FALSE(viewer.ScrolledBack());
}

TEST(View, LiveItShowsTheCursorAndMarksWhatIsHidden) {
  Scrolled s(0);
  Picture p;
  DrawView(s.screen, s.sink.history, PlaceView({20, 60, 25, 7, 0}, {}), 20, 60, p);
  EXPECT_EQ(s.Text(p, 19), "row 25");
  EXPECT_EQ(p.cursorRow, 19);
  EXPECT_EQ(p.cursorCol, 6);
  EXPECT_EQ(p.At(0, 59).ch, 0x1E);   // rows above
  EXPECT_EQ(p.At(10, 59).ch, 0x10);  // columns to the right
  EXPECT_EQ(p.At(10, 0).ch, 'r');    // none to the left
}

TEST(View, AWindowTooSmallGetsANoticeThatFitsIt) {
  Scrolled s(0);
  Picture p;
  DrawView(s.screen, s.sink.history, PlaceView({5, 30, 1, 1, 0}, {}), 5, 30, p);
  // Word by word: nothing is cut, and no line is wider than the window.
  std::string all;
  for (int r = 0; r < 5; ++r) {
    std::string row = s.Text(p, r);
    if (!row.empty()) all += (all.empty() ? "" : " ") + row;
  }
  EXPECT_EQ(all, "qb7uart needs a window of at least 40x6; this one is 30x5.");
  EXPECT_EQ(p.cursorRow, -1);
}

TEST(History, KeepsTheLast10000RowsInFixedMemory) {
  HistoryStore h;
  Row row{};
  for (uint64_t n = 0; n < 25000; ++n) {
    row[0].ch = static_cast<uint8_t>(n % 200);
    h.Keep(row, n, {});
  }
  EXPECT_EQ(h.Find(14999), nullptr);
  ASSERT_NE(h.Find(15000), nullptr);
  EXPECT_EQ(h.Find(15000)->cells[0].ch, 15000 % 200);
  ASSERT_NE(h.Find(24999), nullptr);
  EXPECT_EQ(HistoryStore::kKeptRows, 10000u);
  EXPECT_LE(HistoryStore::Bytes(), 3u * 1024 * 1024);
}

TEST(History, TheHandOverNeverWaitsAndCountsWhatFoundItFull) {
  RowRing ring;
  Row row{};
  for (uint64_t n = 0; n < RowRing::kRingRows + 5; ++n) ring.Push(row, n, {});
  EXPECT_EQ(ring.Lost(), 5u);
  uint64_t taken = 0, next = 0;
  EXPECT_EQ(ring.Room(), 0u);
  ring.Drain([&](const Row&, uint64_t number, const RowTime&) {
    EXPECT_EQ(number, next++);
    ++taken;
  }, 1234);
  EXPECT_EQ(taken, RowRing::kRingRows);
  EXPECT_EQ(ring.Room(), RowRing::kRingRows);
  EXPECT_EQ(ring.TakenUs(), 1234u);
}

TEST(History, RowsCrossTheHandOverInOrderWhileBothThreadsRun) {
  RowRing ring;
  constexpr uint64_t kPushed = 100000;
  std::thread producer([&] {
    Row row{};
    for (uint64_t n = 0; n < kPushed; ++n) {
      row[0].ch = static_cast<uint8_t>(n);
      ring.Push(row, n, {});
    }
  });
  uint64_t taken = 0, last = 0;
  bool ordered = true, intact = true;
  auto keep = [&](const Row& row, uint64_t number, const RowTime&) {
    ordered = ordered && (taken == 0 || number > last);
    intact = intact && row[0].ch == static_cast<uint8_t>(number);
    last = number;
    ++taken;
  };
  while (taken + ring.Lost() < kPushed) ring.Drain(keep, 0);
  producer.join();
  ring.Drain(keep, 0);
  EXPECT_TRUE(ordered);
  EXPECT_TRUE(intact);
  EXPECT_EQ(taken + ring.Lost(), kPushed);
}

TEST(History, RowsLeaveByScrollAndByClearDownToTheLastThatShowsAnything) {
  struct Sink final : RowSink {
    void Keep(const Row& row, uint64_t number, const RowTime&) override {
      std::string s;
      for (const Cell& c : row) s.push_back(static_cast<char>(c.ch));
      s.erase(s.find_last_not_of(' ') + 1);
      rows.push_back(std::to_string(number) + ":" + s);
    }
    std::vector<std::string> rows;
  } sink;
  Screen screen;
  screen.Write("gone unkept");  // no sink yet
  screen.SetRowSink(&sink);
  screen.SetPosition(25, 1);
  screen.Write("last\r\nnext");  // one scroll: row 1 leaves
  screen.Clear();
  screen.Write("a");
  screen.SetPosition(3, 1);
  screen.Write("b");
  screen.Clear();  // rows 1..3: the last that shows anything is 3
  EXPECT_EQ(sink.rows.size(), 1u + 25u + 3u);
  EXPECT_EQ(sink.rows[0], "0:gone unkept");
  EXPECT_EQ(sink.rows[24], "24:last");
  EXPECT_EQ(sink.rows[25], "25:next");
  EXPECT_EQ(std::vector<std::string>(sink.rows.end() - 3, sink.rows.end()),
            (std::vector<std::string>{"26:a", "27:", "28:b"}));
  screen.SetRowSink(nullptr);
  screen.Write("x");
  screen.Clear();
  EXPECT_EQ(screen.RowsGone(), 29u);
}

TEST(History, ASessionKeepsWhatScrollsAndWhatTheHelpAndLeavingClear) {
  test::Bench b;
  b.folder.Write("Qb7_Uart.cfg", "#HELP\nthe help\n");
  b.board->FarEndOn(2)->outbox().Send("one\r\ntwo\r\n", 300000);
  b.frontend.AddKeyAt(1000, "2");
  b.frontend.AddKeyAt(500000, std::string(keys::KeyShiftF1));
  b.frontend.AddKeyAt(700000, std::string(keys::KeyShiftF2));
  b.frontend.AddKeyAt(800000, "q");
  ASSERT_EQ(b.Run(), 0);
  std::vector<std::string> kept;
  for (uint64_t n = 0; n < b.console.screen().RowsGone(); ++n) {
    const KeptRow* r = b.frontend.viewer().history().Find(n);
    ASSERT_NE(r, nullptr) << n;
    std::string s;
    for (const Cell& c : r->cells) s.push_back(static_cast<char>(c.ch));
    s.erase(s.find_last_not_of(' ') + 1);
    kept.push_back(s.substr(0, 17));
  }
  // The help's clear took the status line, two empty rows and the text;
  // leaving took the help: the configuration's lines, then the tool's keys.
  std::vector<std::string> expected{"CON-5Pins Console", "", "", "one", "two", "the help", ""};
  for (const std::string& row : SessionKeyRows(false)) expected.push_back(row.substr(0, 17));
  EXPECT_EQ(kept, expected);
}

}  // namespace
}  // namespace qb7
