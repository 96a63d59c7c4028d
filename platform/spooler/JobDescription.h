// What the spool keeps about one job beside its data: the level-2 job information, the job's
// state, its error and how often its data has been reprinted. Stored as "key=value" lines of
// UTF-8 text, with backslash, CR and LF escaped, so that any document or user name fits.
#pragma once
#include <qv/print_system.h>
#include <windef.h>

#include <cstdint>
#include <string>

namespace qv::spool {

struct JobDescription {
  DWORD id = 0;
  std::string printer;
  std::string machine;
  std::string user;
  std::string document;
  std::string notifyName;
  std::string datatype = "RAW";
  std::string driver;
  DWORD priority = 1;
  uint64_t size = 0;
  DWORD totalPages = 0;
  int64_t submitted = 0;  // milliseconds since 1970, UTC
  std::string state = "waiting";  // "waiting", "printing", "failed"
  unsigned hops = 0;
  // How many reprints this job may still cause, its own and its reprints' together: an original
  // job starts with kReprintBudget, and each reprint takes its share from the job printing it.
  unsigned reprintBudget = kReprintBudget;
  DWORD errorCode = 0;
  std::string error;
  bool printed = false;  // the port has reported the job printed in full
  // The boot a job was accepted in without its files being flushed (AcceptJobs for a caller
  // that sends the job at once); empty for a job accepted durably. Such a job is flushed only
  // if it stays in the spool; after a restart its files may be incomplete and nobody was told
  // its number, so it is dropped.
  std::string unflushedBoot;
};

std::string FormatDescription(const JobDescription& job);
// False when the text is not a job description (no id).
bool ParseDescription(const std::string& text, JobDescription& job);

}  // namespace qv::spool
