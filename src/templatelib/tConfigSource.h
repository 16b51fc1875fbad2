// tConfigSource: the config database, one attribute tree with the file it
// came from, loaded from and saved to configuration files (plain text or
// zip archives), and committed table by table.
//
// Load replaces the tree (the old one goes to the pool's deleter thread) and
// remembers the path; a failed load leaves no tree. It reads regular files
// only, within the limits of ConfigFileReader.h; running out of memory or a
// termination request fails the load (with a debug message), never the
// process. Only depth 0 with no
// filters is supported; a partial load is refused with a debug message.
//
// Save never changes the tree or the remembered path, only the temp counter:
// with a temporary file it writes "<tempfolder><base>.tmp<n>" first (n runs
// round a ring of the given size; a name another save holds, or an old file
// holds, is passed over for the next counter), created exclusively with the
// target's permissions, then copies it over the target and removes it.
// Either way the target is replaced in one rename, keeping its permissions,
// so a failed save leaves the old file whole and no new file behind. A
// symbolic link is saved through: the file it points at is replaced. Archive
// or plain is decided as the load decides it (".zip", or ".zip.bak"); an
// archive is written into a copy of the existing one, so its other entries
// survive unchanged. Append puts the tree after the target's old bytes.
//
// Commit settles the row states of changed tables: deleted rows leave the
// tree (and the primary-key index), every other row becomes Unchanged.
//
// Saves write every byte through the source's FileEnv (the real file
// system unless set), the archive component's included; archives are
// reached through the component its ZlibFactory creates (the real one
// unless set). Both are per source, so a test gives one source a failing
// disk or a fake component without touching any other.
//
// Thread safety: one thread at a time per source. The default source is
// created on first request and destroyed only on request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/FileEnv.h"
#include "templatelib/Result.h"
#include "templatelib/ZipComponent.h"
#include "templatelib/tAttribute.h"
#include "templatelib/tString.h"

// The nodes of one table: a "Table" node named by its value, with the
// children "TableDefinition" (column names joined by '|'), "TableType"
// (their types) and "TableContents" (one child per row).
struct tTableNodes {
  tAttribute* table = nullptr;
  tAttribute* definition = nullptr;  // "TableDefinition"
  tAttribute* type = nullptr;        // "TableType"
  tAttribute* contents = nullptr;    // "TableContents"
};

class tConfigSource {
 public:
  tConfigSource();
  virtual ~tConfigSource();
  tConfigSource(const tConfigSource&) = delete;
  tConfigSource& operator=(const tConfigSource&) = delete;

  // Replaces the tree with the file's content; the new root, or null.
  tAttribute* LoadAttributesFromFile(const char* path, int32_t depth = 0,
                                     const char* nameFilter = nullptr,
                                     const char* valueFilter = nullptr);

  // Replaces the tree with the configuration text `text` held in memory
  // (the plain file format), under the same limits as a file of its size;
  // the new root, or null. No file name is remembered.
  tAttribute* LoadAttributesFromText(std::string_view text);

  // Writes the tree to `path` (null: the file last loaded). S_OK or E_FAIL.
  HRESULT Save(const char* path, int32_t useTempFile, int32_t tempRingSize, int32_t append);

  // Commits every table whose state is kTableChanged; E_FAIL when there is
  // no tree or any table fails (the others are still committed).
  HRESULT CommitAllTables();
  // Commits one table by name (whatever its state).
  HRESULT CommitTable(const char* tableName);

  // Finds the table's nodes below the root; creates "TableContents" (state
  // New) when it is missing. E_FAIL without a tree, an unknown table, or a
  // table without "TableDefinition" or "TableType".
  HRESULT FindTable(const char* tableName, tTableNodes* nodes);

  tAttribute* Root() const { return root_; }
  const tString& FileName() const { return fileName_; }
  // The first line whose text the last load ignored (text after the root
  // block, or the root line itself when it holds carriage returns inside
  // it); 0 when the load read everything. A save back over that file would
  // lose the text.
  int64_t IgnoredTextLine() const { return ignoredTextLine_; }
  int32_t TempCounter() const { return tempCounter_; }

  // Set at construction and by every load; the query engine clears it when
  // it rereads its tables.
  int32_t treeChanged = 1;

  // The process's default source: created on the first call, destroyed by a
  // call with `destroy` set (which returns null).
  static tConfigSource* DefaultSource(bool destroy = false);

  // Where saves write and archives are read and written. REQUIRES: `env`
  // outlives the source (or the next call).
  void SetFileEnv(platform::FileEnv& env) { fileEnv_ = &env; }
  platform::FileEnv& fileEnv() const { return *fileEnv_; }
  // What creates the archive component; a factory that returns null fails
  // every archive load and save.
  void SetZlibFactory(ZlibFactory factory) { zlibFactory_ = std::move(factory); }
  const ZlibFactory& zlibFactory() const { return zlibFactory_; }

 private:
  void ReleaseTree();
  tAttribute* LoadPlain(const char* path);
  tAttribute* LoadArchive(const char* path);
  tAttribute* LoadBuffer(std::string_view text, int64_t budgetBytes);
  HRESULT SaveTo(const std::string& named, bool useTempFile, int32_t tempRingSize, bool append);
  HRESULT SavePlain(const std::string& target, bool append);
  HRESULT SaveArchive(const std::string& stagePath, bool holdsArchive);

  tAttribute* root_ = nullptr;
  tString fileName_;
  int32_t tempCounter_ = 0;
  platform::FileEnv* fileEnv_ = &platform::FileEnv::Default();
  ZlibFactory zlibFactory_ = CreateZlibObject;
  int64_t ignoredTextLine_ = 0;
};

// The largest archive configuration entry a load accepts (1 GiB): the
// entry's declared size sizes the read buffer, so a hostile archive must not
// choose it freely.
inline constexpr int64_t kMaxArchiveConfigBytes = int64_t{1} << 30;
