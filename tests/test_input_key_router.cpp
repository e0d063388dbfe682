// The key router, as tables: which key the view takes (live and in the
// history), what reaches the program and how it is marked, pastes held
// apart and dropped with Shift-F2, answers to a message line out of turn,
// keys held while the program's side or the window has no room.
#include <gtest/gtest.h>

#include <deque>

#include "input/key_router.hpp"
#include "keys/keys.hpp"
#include "view/view_keys.hpp"

namespace qb7 {
namespace {

// The program's side, recording what crosses.
struct RecordingOutlet final : KeyOutlet {
  bool HasRoom() const override { return room > 0; }
  bool Backlog() const override { return room == 0; }
  bool PushKey(const KeyCode& key, bool pasted) override {
    if (room == 0) return false;
    --room;
    keys.push_back({key, pasted});
    return true;
  }
  bool PushDropWaiting() override {
    for (const auto& k : keys) (k.second ? droppedPasted : droppedTyped) += 1;
    room += keys.size();
    keys.clear();
    drops = true;
    return true;
  }
  AnswerWant Wanted() const override { return want; }
  void PutAnswer(const KeyCode& key, uint32_t number) override {
    answer = key;
    answerNumber = number;
  }
  bool TakeDropped(uint64_t& pasted, uint64_t& typed) override {
    if (!std::exchange(drops, false)) return false;
    pasted = std::exchange(droppedPasted, 0);
    typed = std::exchange(droppedTyped, 0);
    return true;
  }
  void Ask(AnswerMode mode) {
    want.mode = mode;
    if (mode != AnswerMode::None) ++want.number;
  }

  std::string Typed() const {
    std::string s;
    for (const auto& k : keys)
      if (!k.second) s += k.first;
    return s;
  }
  std::string Pasted() const {
    std::string s;
    for (const auto& k : keys)
      if (k.second) s += k.first;
    return s;
  }

  std::size_t room = 1000;
  std::deque<std::pair<KeyCode, bool>> keys;
  AnswerWant want;
  KeyCode answer;
  uint32_t answerNumber = 0;
  bool drops = false;
  uint64_t droppedPasted = 0, droppedTyped = 0;
};

// A viewer with a session's screen and a history to scroll back into.
struct RouterBench {
  struct ToViewer final : RowSink {
    explicit ToViewer(Viewer& v) : viewer(v) {}
    void Keep(const Row& row, uint64_t number, const RowTime& time) override {
      viewer.Keep(row, number, time);
    }
    Viewer& viewer;
  };
  RouterBench() {
    ToViewer sink(viewer);
    frame.screen.SetRowSink(&sink);
    for (int i = 0; i < 125; ++i) frame.screen.Write("line\r\n");
    frame.screen.SetRowSink(nullptr);
    viewer.SetFrame(frame);
    viewer.SetWindow(25, 80);
  }
  KeyRouter::Routed Send(std::initializer_list<std::string_view> keys) {
    DecodedKeys fresh;
    for (auto k : keys) fresh.push_back(KeyCode(k));
    router.Add(fresh, outlet);
    return router.Route(outlet);
  }
  Frame frame;
  Viewer viewer;
  KeyRouter router{viewer};
  RecordingOutlet outlet;
};

TEST(ViewKeys, TheTableLiveAndInTheHistory) {
  struct Row {
    std::string_view key;
    std::optional<ViewAction> live, history;
  };
  const Row rows[] = {
      {view::WheelUp, ViewAction::ScrollBack, ViewAction::ScrollBack},
      {view::PageDown, ViewAction::PageForward, ViewAction::PageForward},
      {view::Mouse, ViewAction::Nothing, ViewAction::Nothing},
      {"/", std::nullopt, ViewAction::SearchPrompt},
      {"n", std::nullopt, ViewAction::NextMatch},
      {"N", std::nullopt, ViewAction::PreviousMatch},
      {"t", std::nullopt, ViewAction::ToggleTimes},
      {"s", std::nullopt, ViewAction::Save},
      {"q", std::nullopt, ViewAction::Leave},
      {keys::KeyEsc, std::nullopt, ViewAction::Leave},
      {"Q", std::nullopt, std::nullopt},
      {keys::KeyF1, std::nullopt, std::nullopt},
      {keys::KeyShiftF2, std::nullopt, std::nullopt},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ViewKeyAction(r.key, false), r.live) << testing::PrintToString(std::string(r.key));
    EXPECT_EQ(ViewKeyAction(r.key, true), r.history) << testing::PrintToString(std::string(r.key));
  }
}

TEST(KeyRouter, QAndEscLeaveTheHistoryAndReachNothing) {
  for (std::string_view leave : {std::string_view("q"), keys::KeyEsc}) {
    RouterBench b;
    b.Send({view::PageUp});
    ASSERT_TRUE(b.viewer.ScrolledBack());
    const auto routed = b.Send({leave});
    EXPECT_FALSE(b.viewer.ScrolledBack());
    EXPECT_TRUE(routed.redraw);
    EXPECT_TRUE(b.outlet.keys.empty());
    // Live, the same key is the program's.
    b.Send({leave});
    EXPECT_EQ(b.outlet.Typed(), std::string(leave));
  }
}

TEST(KeyRouter, AnyOtherKeyInTheHistoryReturnsLiveAndGoesOn) {
  RouterBench b;
  b.Send({view::WheelUp, "k"});
  EXPECT_FALSE(b.viewer.ScrolledBack());
  EXPECT_EQ(b.outlet.Typed(), "k");
  // s in the history asks for the save; live it is an s for the board.
  b.Send({view::WheelUp});
  const auto routed = b.Send({"s"});
  EXPECT_TRUE(routed.save.has_value());
  EXPECT_EQ(b.outlet.Typed(), "k");
  b.Send({"q", "s"});
  EXPECT_EQ(b.outlet.Typed(), "ks");
}

TEST(KeyRouter, PastedBytesAreMarkedAndNeverTheViewsEvenInTheHistory) {
  RouterBench b;
  b.Send({view::PageUp});
  const auto routed = b.Send({paste::Start, "s", "q", "/", paste::End});
  EXPECT_FALSE(routed.save.has_value());
  EXPECT_EQ(b.outlet.Pasted(), "sq/");
  EXPECT_EQ(b.outlet.Typed(), "");
}

TEST(KeyRouter, KeysWaitForRoomAndForAWindowLargeEnough) {
  RouterBench b;
  b.outlet.room = 2;
  b.Send({"a", "b", "c", "d"});
  EXPECT_EQ(b.outlet.Typed(), "ab");
  EXPECT_TRUE(b.router.Waiting());
  b.outlet.room = 10;
  b.viewer.SetWindow(5, 30);  // below 40x6: nothing acts blind
  b.Send({});
  EXPECT_EQ(b.outlet.Typed(), "ab");
  b.viewer.SetWindow(24, 80);
  b.Send({});
  EXPECT_EQ(b.outlet.Typed(), "abcd");
  EXPECT_FALSE(b.router.Waiting());
}

TEST(KeyRouter, ShiftF2DuringAPasteDropsItsRestOnBothSidesAndSaysHowMuch) {
  RouterBench b;
  b.outlet.room = 3;
  b.Send({paste::Start, "1", "2", "3", "4", "5", "6", paste::End});
  EXPECT_EQ(b.outlet.Pasted(), "123");
  const auto routed = b.Send({keys::KeyShiftF2});
  // Three held here, three the program held: six not sent, and Shift-F2
  // goes on.
  EXPECT_EQ(b.outlet.Typed(), std::string(keys::KeyShiftF2));
  EXPECT_EQ(b.outlet.Pasted(), "");
  EXPECT_TRUE(routed.redraw);
  const Picture& p = b.viewer.Draw();
  EXPECT_EQ(p.RowText(24).substr(0, 31), "Paste stopped: 6 bytes not sent");
}

// Type-ahead the program has no room for (an unbracketed paste) is dropped
// by Shift-F2 as a paste is; keys that flow are left to go in their turn.
TEST(KeyRouter, ShiftF2BehindTypeAheadTheProgramHasNoRoomForDropsIt) {
  RouterBench b;
  b.outlet.room = 2;
  b.Send({"a", "b", "c", "d", "e"});
  EXPECT_EQ(b.outlet.Typed(), "ab");
  b.Send({keys::KeyShiftF2});
  EXPECT_EQ(b.outlet.Typed(), std::string(keys::KeyShiftF2));
  EXPECT_EQ(b.viewer.Draw().RowText(24).substr(0, 38), "Stopped: 5 keys typed ahead not sent  ");

  RouterBench flowing;
  flowing.Send({"a", "b", keys::KeyShiftF2});
  EXPECT_EQ(flowing.outlet.Typed(), "ab" + std::string(keys::KeyShiftF2));
}

// While a message line waits nothing more is handed over, and the first key
// typed, wherever it stands (behind a paste the program has no room for,
// or type-ahead), answers it: a line that tells of a loss takes only a key
// typed after it showed.
TEST(KeyRouter, AMessageLineIsAnsweredByAKeyTypedWhereverItStands) {
  RouterBench b;
  b.outlet.room = 1;
  b.Send({paste::Start, "a", "b", "c", paste::End, "y"});
  EXPECT_EQ(b.outlet.Pasted(), "a");
  EXPECT_TRUE(b.outlet.answer.empty());  // nobody asked
  b.outlet.Ask(AnswerMode::AnyKey);
  b.outlet.room = 10;
  b.Send({"z"});
  EXPECT_EQ(b.outlet.answer, "y");
  EXPECT_EQ(b.outlet.answerNumber, 1u);
  EXPECT_EQ(b.outlet.Pasted(), "a");  // held while the line stands
  b.outlet.Ask(AnswerMode::None);
  b.Send({});
  EXPECT_EQ(b.outlet.Pasted(), "abc");
  EXPECT_EQ(b.outlet.Typed(), "z");  // y answered; z goes in its turn

  RouterBench loss;
  loss.outlet.room = 0;
  loss.Send({"t"});  // typed before the line
  loss.outlet.Ask(AnswerMode::NewKey);
  loss.Send({});
  EXPECT_TRUE(loss.outlet.answer.empty());
  loss.Send({"n"});
  EXPECT_EQ(loss.outlet.answer, "n");
}

TEST(KeyRouter, APasteTooLongIsToldAsAllItsBytesNotKept) {
  RouterBench b;
  b.outlet.room = 0;
  DecodedKeys fresh{KeyCode(paste::Start)};
  b.router.Add(fresh, b.outlet);
  const std::size_t over = 3000;
  for (std::size_t sent = 0; sent < PendingKeys::kPasteBytes + over; sent += 256) {
    for (int i = 0; i < 256; ++i) fresh.push_back("x");
    b.router.Add(fresh, b.outlet);
    b.router.Route(b.outlet);
  }
  fresh.push_back(KeyCode(paste::End));
  b.router.Add(fresh, b.outlet);
  b.router.Route(b.outlet);
  EXPECT_EQ(b.viewer.Draw().RowText(24).substr(0, 35), "Paste too long: 3072 bytes not kept");
}

}  // namespace
}  // namespace qb7
