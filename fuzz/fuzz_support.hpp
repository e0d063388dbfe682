// What the fuzz targets share: a front end that draws nothing and answers
// every key wait at once.
#pragma once
#include "console/frontend.hpp"

namespace qb7::fuzz {

class AnsweringFrontend final : public Frontend {
 public:
  void CollectKeys(KeyQueue& queue, uint64_t, bool) override {
    if (queue.Empty()) queue.Push("x");
  }
  void Present(const Frame&) override {}
  void Bell() override {}
  void WantAnswer(AnswerMode) override {}
  KeyCode TakeAnswer(KeyQueue&) override { return {}; }
  void Lend() override {}
  void TakeBack() override {}
  bool LoanSettled() const override { return true; }
};

}  // namespace qb7::fuzz
