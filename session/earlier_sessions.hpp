// The history outlives the program: at start, the rows of the most recent
// sessions (the last one's Term.txt and the kept ones before it), rebuilt
// from their logs with their times, a divider naming each, and their marks,
// so that Shift-PgUp shows the morning after a restart. Rebuilding is pure;
// reading the files is the loader's, once, at start-up (as the
// configuration is read), and only the end of each file is read.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "screen/screen.hpp"

namespace qb7 {

// What is read of one session's files: the end of its log, where that end
// starts in the log, its times' first records (its start) and the records
// of the end.
struct EarlierSession {
  std::string text;       // the end of Term.txt, from a line start
  uint64_t textStart = 0;  // the offset of text's first byte in the log
  std::string startRecords;  // the first records of its times (its start)
  std::string records;       // the records of its times that cover text
};

// A row rebuilt, as the history keeps it.
struct EarlierRow {
  std::string text;  // up to 80 bytes
  RowTime time;
};

// The rows of one session: its divider, then its lines (line ends dropped,
// wrapped at 80 columns), each with the time of the record at or before
// it, and a row for each mark where it was made.
std::vector<EarlierRow> RebuildRows(const EarlierSession& session);

// Reads the sessions before this run, newest first, until at least `most`
// rows are had or none is left, and returns the last `most` rows, oldest
// first. log: the log's name in the program's folder (Term.txt).
std::vector<EarlierRow> ReadEarlierRows(const std::string& log, std::size_t most);

class Console;
// At start-up: the earlier sessions' rows into the history, as many as it
// and the way to the terminal take at once; a divider in yellow on blue,
// a mark in black on yellow, the text in the screen's colours.
void RecallEarlierSessions(Console& console, std::size_t historyRows);

}  // namespace qb7
