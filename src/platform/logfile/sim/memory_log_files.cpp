#include "platform/logfile/sim/memory_log_files.h"

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace dova {

namespace {

std::string ErrorText(const char* what, const QString& path, int err) {
  return std::string(what) + " " + path.toStdString() + ": " + std::strerror(err);
}

// "/a/b/" and "/a/b" name the same folder; the root stays "/".
QString Normal(const QString& path) {
  QString p = path;
  while (p.size() > 1 && p.endsWith(u'/'))
    p.chop(1);
  return p;
}

QString Parent(const QString& path) {
  const qsizetype slash = path.lastIndexOf(u'/');
  if (slash < 0) return QString();             // the current folder
  if (slash == 0) return QStringLiteral("/");  // the root
  return path.left(slash);
}

bool Inside(const QString& path, const QString& folder) {
  if (folder == QStringLiteral("/")) return path.startsWith(u'/') && path != folder;
  return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == u'/';
}

}  // namespace

struct MemoryLogFiles::Store {
  // What the disk holds of each byte the program wrote.
  enum : char { kClean = 0, kDirty = 1, kLost = 2 };
  struct Node {
    QByteArray bytes;  // what readers see (the system's cache)
    // What a power cut leaves: the bytes the last good sync carried to the disk.
    QByteArray durable;
    // One state per byte of `bytes`: written since the last sync (dirty), or dropped by a
    // failed sync (lost: readers see it, the disk never got it and no later sync will
    // carry it unless it is written again).
    QByteArray state;
    // The folder's list of names on the disk holds this file.
    bool entry_durable = true;
    bool locked = false;
  };
  // Writes and syncs may come from two threads (the program's and its sync thread).
  mutable std::recursive_mutex mutex;
  std::map<QString, std::shared_ptr<Node>> files;
  std::set<QString> folders;
  std::map<QString, Refusal> refusals;
  // Nodes held by open LogFile objects, once per object.
  std::multiset<const Node*> open;
  int fail_writes = 0;
  std::optional<std::int64_t> capacity;
  int fail_syncs = 0;
  int fail_folder_syncs = 0;
  int syncs = 0;
  std::map<QString, int> folder_syncs;
  std::function<void()> sync_hook;

  bool IsFolder(const QString& path) const {
    return path.isEmpty() || path == QStringLiteral("/") || folders.count(path) != 0;
  }
  Refusal RefusalOf(const QString& path) const {
    const auto it = refusals.find(path);
    return it == refusals.end() ? Refusal::None : it->second;
  }
  std::int64_t Used() const {
    std::set<const Node*> nodes(open.begin(), open.end());
    for (const auto& [path, node] : files)
      nodes.insert(node.get());
    std::int64_t used = 0;
    for (const Node* node : nodes)
      used += node->bytes.size();
    return used;
  }
};

namespace {

using Store = MemoryLogFiles::Store;

class MemoryLogFile final : public LogFile {
 public:
  MemoryLogFile(std::shared_ptr<Store> store, std::shared_ptr<Store::Node> node, QString path)
      : store_(std::move(store)), node_(std::move(node)), path_(std::move(path)) {
    node_->locked = true;
    position_ = node_->bytes.size();
    store_->open.insert(node_.get());
  }
  ~MemoryLogFile() override {
    std::lock_guard lock(store_->mutex);
    if (holds_lock_) node_->locked = false;
    store_->open.erase(store_->open.find(node_.get()));
  }

  const QString& Path() const override { return path_; }
  std::int64_t Position() const override {
    std::lock_guard lock(store_->mutex);
    return position_;
  }

  void Write(const QByteArray& bytes) override {
    std::lock_guard lock(store_->mutex);
    if (bytes.isEmpty()) return;  // as on disk: nothing to write, nothing to fail
    if (store_->fail_writes > 0) {
      --store_->fail_writes;
      throw LogFileExcept(ErrorText("Cannot write to", path_, EIO));
    }
    const std::int64_t size = node_->bytes.size();
    const std::int64_t end = position_ + bytes.size();
    const std::int64_t growth = std::max<std::int64_t>(0, end - size);
    if (store_->capacity && store_->Used() + growth > *store_->capacity) {
      throw LogFileExcept(ErrorText("Cannot write to", path_, ENOSPC));
    }
    Put(position_, bytes);
    position_ = end;
  }

  void WriteAt(std::int64_t offset, const QByteArray& bytes) override {
    std::lock_guard lock(store_->mutex);
    if (store_->fail_writes > 0) {
      --store_->fail_writes;
      throw LogFileExcept(ErrorText("Cannot write to", path_, EIO));
    }
    Put(offset, bytes);
  }

  void Clear() override {
    std::lock_guard lock(store_->mutex);
    node_->bytes.clear();
    node_->state.clear();
    position_ = 0;
  }

  void Sync() override {
    {
      std::lock_guard lock(store_->mutex);
      Store::Node& n = *node_;
      n.state.resize(n.bytes.size(), Store::kClean);
      if (store_->fail_syncs > 0) {
        --store_->fail_syncs;
        // As the kernel does: what it could not write is marked clean and forgotten.
        for (char& st : n.state)
          if (st == Store::kDirty) st = Store::kLost;
        throw LogFileExcept(ErrorText("Cannot save", path_, EIO));
      }
      QByteArray disk = n.bytes;
      for (qsizetype i = 0; i < disk.size(); ++i) {
        if (n.state[i] == Store::kLost) disk[i] = i < n.durable.size() ? n.durable[i] : '\0';
        if (n.state[i] == Store::kDirty) n.state[i] = Store::kClean;
      }
      n.durable = std::move(disk);
      ++store_->syncs;
    }
    // A slow disk: the program goes on meanwhile, and what it writes now was not taken.
    std::function<void()> hook;
    {
      std::lock_guard lock(store_->mutex);
      hook = store_->sync_hook;
    }
    if (hook) hook();
  }

  QByteArray Tail(int max) const override {
    std::lock_guard lock(store_->mutex);
    return max <= 0 ? QByteArray() : node_->bytes.right(max);
  }

  void Unlock() override {
    std::lock_guard lock(store_->mutex);
    if (holds_lock_) node_->locked = false;
    holds_lock_ = false;
  }

  bool StillThere() const override {
    std::lock_guard lock(store_->mutex);
    const auto it = store_->files.find(path_);
    return it != store_->files.end() && it->second == node_;
  }

 private:
  void Put(std::int64_t offset, const QByteArray& bytes) {
    Store::Node& n = *node_;
    const std::int64_t end = offset + bytes.size();
    const qsizetype old = n.bytes.size();
    n.state.resize(old, Store::kClean);
    if (end > old) {
      n.bytes.resize(static_cast<qsizetype>(end), '\0');
      n.state.resize(static_cast<qsizetype>(end), Store::kDirty);
    }
    std::copy(bytes.begin(), bytes.end(), n.bytes.begin() + offset);
    std::fill(n.state.begin() + offset, n.state.begin() + end, Store::kDirty);
  }

  std::shared_ptr<Store> store_;
  std::shared_ptr<Store::Node> node_;
  QString path_;
  std::int64_t position_ = 0;
  bool holds_lock_ = true;
};

}  // namespace

MemoryLogFiles::MemoryLogFiles() : store_(std::make_shared<Store>()) {}
MemoryLogFiles::~MemoryLogFiles() = default;

std::unique_ptr<LogFile> MemoryLogFiles::OpenExisting(const QString& path) {
  std::lock_guard lock(store_->mutex);
  const QString p = Normal(path);
  if (store_->RefusalOf(p) != Refusal::None) return nullptr;
  const auto it = store_->files.find(p);
  if (it == store_->files.end() || it->second->locked) return nullptr;
  return std::make_unique<MemoryLogFile>(store_, it->second, path);
}

bool MemoryLogFiles::CreateIfMissing(const QString& path) {
  std::lock_guard lock(store_->mutex);
  const QString p = Normal(path);
  if (p.isEmpty() || store_->IsFolder(p)) return false;
  const Refusal refusal = store_->RefusalOf(p);
  if (refusal == Refusal::Unwritable) return false;
  if (store_->files.count(p) != 0) return true;
  if (!store_->IsFolder(Parent(p))) return false;
  auto node = std::make_shared<Store::Node>();
  // Its name reaches the disk with the next sync of its folder.
  node->entry_durable = false;
  store_->files[p] = std::move(node);
  return true;
}

bool MemoryLogFiles::MakeFolder(const QString& path) {
  std::lock_guard lock(store_->mutex);
  const QString p = Normal(path);
  if (p.isEmpty() || store_->files.count(p) != 0) return false;
  if (store_->IsFolder(p)) return true;
  if (!store_->IsFolder(Parent(p))) return false;
  store_->folders.insert(p);
  return true;
}

void MemoryLogFiles::Put(const QString& path, const QByteArray& bytes) {
  std::lock_guard lock(store_->mutex);
  const QString p = Normal(path);
  AddFolder(Parent(p));
  auto& node = store_->files[p];
  if (!node) node = std::make_shared<Store::Node>();
  // A file that was there before: on the disk as it reads.
  node->bytes = bytes;
  node->durable = bytes;
  node->state = QByteArray(bytes.size(), Store::kClean);
  node->entry_durable = true;
}

void MemoryLogFiles::AddFolder(const QString& path) {
  std::lock_guard lock(store_->mutex);
  const QString p = Normal(path);
  if (store_->IsFolder(p)) return;
  AddFolder(Parent(p));
  store_->folders.insert(p);
}

std::optional<QByteArray> MemoryLogFiles::Contents(const QString& path) const {
  std::lock_guard lock(store_->mutex);
  const auto it = store_->files.find(Normal(path));
  if (it == store_->files.end()) return std::nullopt;
  return it->second->bytes;
}

bool MemoryLogFiles::FileExists(const QString& path) const {
  std::lock_guard lock(store_->mutex);
  return store_->files.count(Normal(path)) != 0;
}

bool MemoryLogFiles::FolderExists(const QString& path) const {
  std::lock_guard lock(store_->mutex);
  return store_->IsFolder(Normal(path));
}

bool MemoryLogFiles::IsOpen(const QString& path) const {
  std::lock_guard lock(store_->mutex);
  const auto it = store_->files.find(Normal(path));
  return it != store_->files.end() && it->second->locked;
}

int MemoryLogFiles::OpenCount() const {
  std::lock_guard lock(store_->mutex);
  return static_cast<int>(store_->open.size());
}

bool MemoryLogFiles::Remove(const QString& path) {
  std::lock_guard lock(store_->mutex);
  const QString p = Normal(path);
  if (store_->files.erase(p) != 0) return true;
  if (p.isEmpty() || p == QStringLiteral("/") || store_->folders.erase(p) == 0) return false;
  std::erase_if(store_->files, [&](const auto& entry) { return Inside(entry.first, p); });
  std::erase_if(store_->folders, [&](const QString& folder) { return Inside(folder, p); });
  return true;
}

bool MemoryLogFiles::Rename(const QString& from, const QString& to) {
  std::lock_guard lock(store_->mutex);
  const QString f = Normal(from);
  const QString t = Normal(to);
  const auto it = store_->files.find(f);
  if (it == store_->files.end() || !store_->IsFolder(Parent(t)) || store_->IsFolder(t)) {
    return false;
  }
  if (f == t) return true;
  std::shared_ptr<Store::Node> node = it->second;
  store_->files.erase(it);
  store_->files[t] = std::move(node);
  return true;
}

void MemoryLogFiles::FailWrites(int count) {
  std::lock_guard lock(store_->mutex);
  store_->fail_writes = count;
}

void MemoryLogFiles::SetCapacity(std::optional<std::int64_t> bytes) {
  std::lock_guard lock(store_->mutex);
  store_->capacity = bytes;
}

std::int64_t MemoryLogFiles::UsedBytes() const {
  std::lock_guard lock(store_->mutex);
  return store_->Used();
}

void MemoryLogFiles::RefuseOpens(const QString& path, Refusal how) {
  std::lock_guard lock(store_->mutex);
  const QString p = Normal(path);
  if (how == Refusal::None) {
    store_->refusals.erase(p);
  } else {
    store_->refusals[p] = how;
  }
}

}  // namespace dova

namespace dova {

bool MemoryLogFiles::SyncFolder(const QString& path) {
  std::lock_guard lock(store_->mutex);
  const QString p = Normal(path);
  if (!store_->IsFolder(p)) return false;
  if (store_->fail_folder_syncs > 0) {
    --store_->fail_folder_syncs;
    return false;
  }
  ++store_->folder_syncs[p];
  for (auto& [name, node] : store_->files)
    if (Parent(name) == p) node->entry_durable = true;
  return true;
}

void MemoryLogFiles::FailSyncs(int count) {
  std::lock_guard lock(store_->mutex);
  store_->fail_syncs = count;
}

void MemoryLogFiles::FailFolderSyncs(int count) {
  std::lock_guard lock(store_->mutex);
  store_->fail_folder_syncs = count;
}

void MemoryLogFiles::SetSyncHook(std::function<void()> hook) {
  std::lock_guard lock(store_->mutex);
  store_->sync_hook = std::move(hook);
}

std::optional<QByteArray> MemoryLogFiles::DurableContents(const QString& path) const {
  std::lock_guard lock(store_->mutex);
  const auto it = store_->files.find(Normal(path));
  if (it == store_->files.end() || !it->second->entry_durable) return std::nullopt;
  return it->second->durable;
}

int MemoryLogFiles::FolderSyncs(const QString& path) const {
  std::lock_guard lock(store_->mutex);
  const auto it = store_->folder_syncs.find(Normal(path));
  return it == store_->folder_syncs.end() ? 0 : it->second;
}

int MemoryLogFiles::Syncs() const {
  std::lock_guard lock(store_->mutex);
  return store_->syncs;
}

}  // namespace dova
