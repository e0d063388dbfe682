// A pseudo-terminal for the console link: its master for the link's
// thread, its slave's path for the other program (printed, or reached
// through a stable link the operator names). The slave is set to raw mode
// (every byte passes as it is: no echo, no line editing, no translation of
// line ends), which stays while the master is open, whoever opens and
// closes the slave; the program does not hold it open itself, so the
// master tells when a reader is there.
#pragma once
#include <memory>
#include <string>

namespace qb7 {

class PseudoTerminal {
 public:
  // Null with the reason when one cannot be had. link: a path to keep a
  // symbolic link at, to the slave (empty: none); an existing symbolic
  // link there is replaced, anything else is left and refused.
  static std::unique_ptr<PseudoTerminal> Open(const std::string& link, std::string& error);
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int master() const { return master_; }
  const std::string& path() const { return path_; }

 private:
  PseudoTerminal() = default;
  int master_ = -1;
  std::string path_;
  std::string link_;
};

}  // namespace qb7
