// The front end of a run with no terminal and nobody at it (boots in a
// batch, from cron, ssh or a CI job): no key ever comes, frames and rows
// go nowhere, the bell is silent. What the operator would read goes to the
// log and to the batch's report instead. Signals are the batch's own to
// look at: they end it after its current boot.
#pragma once
#include "console/frontend.hpp"

namespace qb7 {

class UnattendedFrontend final : public Frontend {
 public:
  void CollectKeys(KeyQueue&, uint64_t, bool) override {}
  void Present(const Frame&) override {}
  void Bell() override {}
  void WantAnswer(AnswerMode) override {}
  KeyCode TakeAnswer(KeyQueue&) override { return {}; }
  void Lend() override {}
  void TakeBack() override {}
  bool LoanSettled() const override { return true; }
};

}  // namespace qb7
