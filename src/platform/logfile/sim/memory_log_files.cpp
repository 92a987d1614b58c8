#include "platform/logfile/sim/memory_log_files.h"

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <map>
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
  struct Node {
    QByteArray bytes;
    bool locked = false;
  };
  std::map<QString, std::shared_ptr<Node>> files;
  std::set<QString> folders;
  std::map<QString, Refusal> refusals;
  // Nodes held by open LogFile objects, once per object.
  std::multiset<const Node*> open;
  int fail_writes = 0;
  std::optional<std::int64_t> capacity;

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
    node_->locked = false;
    store_->open.erase(store_->open.find(node_.get()));
  }

  const QString& Path() const override { return path_; }
  std::int64_t Position() const override { return position_; }

  void Write(const QByteArray& bytes) override {
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
    if (end > size) node_->bytes.resize(static_cast<qsizetype>(end), '\0');
    std::copy(bytes.begin(), bytes.end(), node_->bytes.begin() + position_);
    position_ = end;
  }

  void Clear() override {
    node_->bytes.clear();
    position_ = 0;
  }

  bool StillThere() const override {
    const auto it = store_->files.find(path_);
    return it != store_->files.end() && it->second == node_;
  }

 private:
  std::shared_ptr<Store> store_;
  std::shared_ptr<Store::Node> node_;
  QString path_;
  std::int64_t position_ = 0;
};

}  // namespace

MemoryLogFiles::MemoryLogFiles() : store_(std::make_shared<Store>()) {}
MemoryLogFiles::~MemoryLogFiles() = default;

std::unique_ptr<LogFile> MemoryLogFiles::OpenExisting(const QString& path) {
  const QString p = Normal(path);
  if (store_->RefusalOf(p) != Refusal::None) return nullptr;
  const auto it = store_->files.find(p);
  if (it == store_->files.end() || it->second->locked) return nullptr;
  return std::make_unique<MemoryLogFile>(store_, it->second, path);
}

bool MemoryLogFiles::CreateIfMissing(const QString& path) {
  const QString p = Normal(path);
  if (p.isEmpty() || store_->IsFolder(p)) return false;
  const Refusal refusal = store_->RefusalOf(p);
  if (refusal == Refusal::Unwritable) return false;
  if (store_->files.count(p) != 0) return true;
  if (!store_->IsFolder(Parent(p))) return false;
  store_->files[p] = std::make_shared<Store::Node>();
  return true;
}

bool MemoryLogFiles::MakeFolder(const QString& path) {
  const QString p = Normal(path);
  if (p.isEmpty() || store_->files.count(p) != 0) return false;
  if (store_->IsFolder(p)) return true;
  if (!store_->IsFolder(Parent(p))) return false;
  store_->folders.insert(p);
  return true;
}

void MemoryLogFiles::Put(const QString& path, const QByteArray& bytes) {
  const QString p = Normal(path);
  AddFolder(Parent(p));
  auto& node = store_->files[p];
  if (!node) node = std::make_shared<Store::Node>();
  node->bytes = bytes;
}

void MemoryLogFiles::AddFolder(const QString& path) {
  const QString p = Normal(path);
  if (store_->IsFolder(p)) return;
  AddFolder(Parent(p));
  store_->folders.insert(p);
}

std::optional<QByteArray> MemoryLogFiles::Contents(const QString& path) const {
  const auto it = store_->files.find(Normal(path));
  if (it == store_->files.end()) return std::nullopt;
  return it->second->bytes;
}

bool MemoryLogFiles::FileExists(const QString& path) const {
  return store_->files.count(Normal(path)) != 0;
}

bool MemoryLogFiles::FolderExists(const QString& path) const {
  return store_->IsFolder(Normal(path));
}

bool MemoryLogFiles::IsOpen(const QString& path) const {
  const auto it = store_->files.find(Normal(path));
  return it != store_->files.end() && it->second->locked;
}

int MemoryLogFiles::OpenCount() const {
  return static_cast<int>(store_->open.size());
}

bool MemoryLogFiles::Remove(const QString& path) {
  const QString p = Normal(path);
  if (store_->files.erase(p) != 0) return true;
  if (p.isEmpty() || p == QStringLiteral("/") || store_->folders.erase(p) == 0) return false;
  std::erase_if(store_->files, [&](const auto& entry) { return Inside(entry.first, p); });
  std::erase_if(store_->folders, [&](const QString& folder) { return Inside(folder, p); });
  return true;
}

bool MemoryLogFiles::Rename(const QString& from, const QString& to) {
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
  store_->fail_writes = count;
}

void MemoryLogFiles::SetCapacity(std::optional<std::int64_t> bytes) {
  store_->capacity = bytes;
}

std::int64_t MemoryLogFiles::UsedBytes() const {
  return store_->Used();
}

void MemoryLogFiles::RefuseOpens(const QString& path, Refusal how) {
  const QString p = Normal(path);
  if (how == Refusal::None) {
    store_->refusals.erase(p);
  } else {
    store_->refusals[p] = how;
  }
}

}  // namespace dova
