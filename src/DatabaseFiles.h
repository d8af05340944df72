// Recognising the files LevelDB keeps in a database directory by their names,
// and the damage their presence or absence shows.

#ifndef QZ_EVMON_DATABASE_FILES_H_
#define QZ_EVMON_DATABASE_FILES_H_

#include <string>

namespace qz::evmon {

// True for the name of a table ("NNNNNN.ldb", "NNNNNN.sst"), a write-ahead
// log ("NNNNNN.log") or a descriptor ("MANIFEST-NNNNNN"): a file that holds
// rules or says where they are. `name` is a file name without directories.
bool IsDataFileName(const std::string& name);

// True for the name of a table file only.
bool IsTableFileName(const std::string& name);

// True for the name of a descriptor file only.
bool IsDescriptorFileName(const std::string& name);

// True for the name of a write-ahead log only.
bool IsLogFileName(const std::string& name);

// The least name of a data file directly in
// `dir` when it has no CURRENT file, or "" when there is a CURRENT file or no
// data file. LevelDB takes a directory without CURRENT for a new database
// and removes the files it does not know, so such a directory must never be
// opened in place. A directory that cannot be read yields "".
std::string DataFileWithoutCurrent(const std::string& dir);

// The reasons, in LevelDB's wording of a status, that opening a database in
// place and opening a copy of it both give: for the data file `name` found
// by DataFileWithoutCurrent, and for the table file `name` that the
// descriptor does not list.
std::string DataFileWithoutCurrentDamage(const std::string& name);
std::string UnlistedTableDamage(const std::string& name);

}  // namespace qz::evmon

#endif  // QZ_EVMON_DATABASE_FILES_H_
