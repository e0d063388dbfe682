#include "compare/boot_compare.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qb7 {

namespace {

// Lines added and removed the matching looks through at most: beyond, the
// rest of the middle is left unmatched (memory grows with its square).
constexpr long kMostEdits = 1500;

// The pairs of a longest common subsequence of the keys (Myers' greedy
// diff, after the common start and end are set aside): index in a, in b.
std::vector<std::pair<std::size_t, std::size_t>> Matches(const std::vector<std::string>& a,
                                                         const std::vector<std::string>& b) {
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) {
    pairs.emplace_back(head, head);
    ++head;
  }
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
    ++tail;
  const long n = static_cast<long>(a.size() - head - tail);
  const long m = static_cast<long>(b.size() - head - tail);
  const auto A = [&](long i) -> const std::string& { return a[head + static_cast<std::size_t>(i)]; };
  const auto B = [&](long j) -> const std::string& { return b[head + static_cast<std::size_t>(j)]; };
  if (n > 0 && m > 0) {
    // Myers: v[k] the furthest x on diagonal k; each round's v kept to
    // walk back. The rounds are bounded, so two boots that share nothing
    // in a long middle cost bounded memory: past the bound, the middle is
    // left unmatched.
    const long max = n + m;
    const long bound = std::min<long>(max, kMostEdits);
    // Round d's start, for the diagonals -d..d: enough to walk back.
    std::vector<std::vector<long>> trace;
    std::vector<long> v(static_cast<std::size_t>(2 * max + 2), 0);
    const auto at = [&](long k) -> long& { return v[static_cast<std::size_t>(k + max + 1)]; };
    long found = -1;
    for (long d = 0; d <= bound && found < 0; ++d) {
      trace.emplace_back(v.begin() + (max + 1 - d), v.begin() + (max + 1 + d + 1));
      for (long k = -d; k <= d; k += 2) {
        long x = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
        long y = x - k;
        while (x < n && y < m && A(x) == B(y)) ++x, ++y;
        at(k) = x;
        if (x >= n && y >= m) {
          found = d;
          break;
        }
      }
    }
    if (found >= 0) {
      std::vector<std::pair<std::size_t, std::size_t>> middle;
      long x = n, y = m;
      for (long d = found; d > 0; --d) {
        const std::vector<long>& pv = trace[static_cast<std::size_t>(d)];
        const auto pat = [&](long k) { return pv[static_cast<std::size_t>(k + d)]; };
        const long k = x - y;
        const long prevK = (k == -d || (k != d && pat(k - 1) < pat(k + 1))) ? k + 1 : k - 1;
        const long prevX = pat(prevK);
        const long prevY = prevX - prevK;
        while (x > prevX && y > prevY) {
          --x, --y;
          middle.emplace_back(head + static_cast<std::size_t>(x), head + static_cast<std::size_t>(y));
        }
        x = prevX;
        y = prevY;
      }
      while (x > 0 && y > 0) {
        --x, --y;
        middle.emplace_back(head + static_cast<std::size_t>(x), head + static_cast<std::size_t>(y));
      }
      pairs.insert(pairs.end(), middle.rbegin(), middle.rend());
    }
  }
  for (std::size_t t = tail; t > 0; --t) pairs.emplace_back(a.size() - t, b.size() - t);
  return pairs;
}

std::string Ms(int64_t us, bool sign = false) {
  char text[32];
  // Rounded to a tenth first, so that a change smaller than that is +0.0, not -0.0.
  const double tenths = std::round(static_cast<double>(us) / 100.0);
  std::snprintf(text, sizeof text, sign ? "%+.1f" : "%.1f", (tenths == 0 ? 0.0 : tenths) / 10.0);
  return text;
}

}  // namespace

std::string MatchKey(const std::string& text) {
  std::string key;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (key.empty() || key.back() != '#') key.push_back('#');
    } else if (c == ' ' || c == '\t') {
      if (key.empty() || key.back() != ' ') key.push_back(' ');
    } else {
      key.push_back(c);
    }
  }
  // Spaces at the end are not seen, and may come in a later look.
  if (!key.empty() && key.back() == ' ') key.pop_back();
  return key;
}

BootComparison CompareBoots(const Boot& a, const Boot& b, uint64_t thresholdUs) {
  std::vector<std::string> ka, kb;
  for (const BootLine& l : a.lines) ka.push_back(MatchKey(l.text));
  for (const BootLine& l : b.lines) kb.push_back(MatchKey(l.text));
  BootComparison c;
  std::size_t i = 0, j = 0;
  int64_t lastA = 0, lastB = 0;  // the matched line before, since the reset
  const auto add = [&](ComparedLine line) {
    if (line.kind == ComparedLine::Kind::New) ++c.added;
    if (line.kind == ComparedLine::Kind::Missing) ++c.missing;
    if (line.flagged) ++c.flagged;
    c.lines.push_back(std::move(line));
  };
  auto pairs = Matches(ka, kb);
  pairs.emplace_back(a.lines.size(), b.lines.size());  // the end, to flush what is left
  for (const auto& [pi, pj] : pairs) {
    for (; i < pi; ++i)
      add({ComparedLine::Kind::Missing, a.lines[i].text, static_cast<int64_t>(a.lines[i].us), -1, 0, false});
    for (; j < pj; ++j)
      add({ComparedLine::Kind::New, b.lines[j].text, -1, static_cast<int64_t>(b.lines[j].us), 0, false});
    if (pi >= a.lines.size() || pj >= b.lines.size()) break;
    const int64_t ta = static_cast<int64_t>(a.lines[pi].us), tb = static_cast<int64_t>(b.lines[pj].us);
    const int64_t change = (tb - lastB) - (ta - lastA);
    add({ComparedLine::Kind::Both, b.lines[pj].text, ta, tb, change,
         static_cast<uint64_t>(std::llabs(change)) >= thresholdUs});
    lastA = ta;
    lastB = tb;
    i = pi + 1;
    j = pj + 1;
  }
  return c;
}

std::string ComparisonText(const BootComparison& c, const std::string& aName, const Boot& a,
                           const std::string& bName, const Boot& b, uint64_t thresholdUs) {
  std::string out;
  out += "A: " + aName + (a.report.empty() ? "" : "  (" + a.report + ")") + "\n";
  out += "B: " + bName + (b.report.empty() ? "" : "  (" + b.report + ")") + "\n\n";
  char row[96];
  std::snprintf(row, sizeof row, "%10s %10s %9s %9s   %s\n", "A ms", "B ms", "B-A", "step", "line");
  out += row;
  for (const ComparedLine& l : c.lines) {
    const char mark = l.kind == ComparedLine::Kind::New       ? '+'
                      : l.kind == ComparedLine::Kind::Missing ? '-'
                      : l.flagged                             ? '!'
                                                              : ' ';
    const bool both = l.kind == ComparedLine::Kind::Both;
    std::snprintf(row, sizeof row, "%10s %10s %9s %9s %c ", l.aUs < 0 ? "-" : Ms(l.aUs).c_str(),
                  l.bUs < 0 ? "-" : Ms(l.bUs).c_str(), both ? Ms(l.bUs - l.aUs, true).c_str() : "",
                  both ? Ms(l.stepChangeUs, true).c_str() : "", mark);
    out += row + l.text + "\n";
  }
  out += "\n" + std::to_string(c.flagged) + " line" + (c.flagged == 1 ? "" : "s") + " moved by " +
         Ms(static_cast<int64_t>(thresholdUs)) + " ms or more (!), " + std::to_string(c.added) + " new (+), " +
         std::to_string(c.missing) + " missing (-)\n";
  std::vector<const ComparedLine*> moved;
  for (const ComparedLine& l : c.lines)
    if (l.kind == ComparedLine::Kind::Both && l.stepChangeUs != 0) moved.push_back(&l);
  std::stable_sort(moved.begin(), moved.end(), [](const ComparedLine* x, const ComparedLine* y) {
    return std::llabs(x->stepChangeUs) > std::llabs(y->stepChangeUs);
  });
  if (!moved.empty()) out += "Moved most:\n";
  for (std::size_t k = 0; k < moved.size() && k < 5; ++k) {
    std::snprintf(row, sizeof row, "  %9s ms  ", Ms(moved[k]->stepChangeUs, true).c_str());
    out += row + moved[k]->text + "\n";
  }
  return out;
}

}  // namespace qb7
