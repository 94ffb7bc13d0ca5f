// A file system that forgets what was not flushed, for power-cut trials.
// The mount shows every change at once, as the page cache would; the
// backing folder stands for the disk and gets a file's bytes only when the
// file is flushed, and the folder's names only when the folder is. One flat
// folder, no subfolders.
//   power_cut_fs BACKING MOUNTPOINT REPORT [sync|request N]
// With a cut, the Nth flush, name change or close (sync), or the Nth request
// of any kind, is not made: its caller is killed, and from then on nothing
// changes. Ended by a signal, it forgets what was not flushed.
// It prints a line once mounted, and at the end writes to REPORT what it
// counted: syncs, requests, files created and files opened with O_DIRECT.
#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <fuse.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

namespace {

struct Inode {
  std::string data;     // as the mount shows it
  std::string durable;  // as last flushed: all a cut leaves
  mode_t mode = S_IFREG | 0644;
  ino_t ino = 0;
  timespec mtime{};
};
using Node = std::shared_ptr<Inode>;
using Folder = std::map<std::string, Node>;

Folder g_seen, g_disk;  // the names as the mount shows them, and as last flushed
std::string g_backing;
std::string g_cutKind;
long g_cutAt = 0, g_syncs = 0, g_requests = 0, g_created = 0, g_direct = 0;
bool g_cut = false;
ino_t g_nextIno = 2;

Node NewInode(mode_t mode) {
  auto node = std::make_shared<Inode>();
  node->mode = S_IFREG | (mode & 07777);
  node->ino = g_nextIno++;
  clock_gettime(CLOCK_REALTIME, &node->mtime);
  return node;
}

// Counts a request; true from the cut on, when nothing may change any more.
bool Cut(bool sync = false) {
  if (g_cut) return true;
  ++g_requests;
  g_syncs += sync;
  if ((g_cutKind == "sync" && sync && g_syncs == g_cutAt) ||
      (g_cutKind == "request" && g_requests == g_cutAt)) {
    g_cut = true;
    if (fuse_get_context()->pid > 0) kill(fuse_get_context()->pid, SIGKILL);
  }
  return g_cut;
}

Node Find(const char* path) {
  const auto it = g_seen.find(path + 1);
  return it == g_seen.end() ? nullptr : it->second;
}

Node& Of(fuse_file_info* fi) { return *reinterpret_cast<Node*>(fi->fh); }

Node Target(const char* path, fuse_file_info* fi) { return fi ? Of(fi) : Find(path); }

// The disk becomes what was flushed. Each file is replaced whole, so that
// the folder never holds a file half written.
int Persist() {
  const std::string staging = g_backing + ".staging";
  for (const auto& [name, node] : g_disk) {
    std::ofstream(staging, std::ios::binary | std::ios::trunc) << node->durable;
    if (chmod(staging.c_str(), node->mode & 07777) != 0 ||
        rename(staging.c_str(), (g_backing + "/" + name).c_str()) != 0)
      return -EIO;
  }
  DIR* dir = opendir(g_backing.c_str());
  if (!dir) return -EIO;
  while (const dirent* entry = readdir(dir))
    if (entry->d_type == DT_REG && !g_disk.count(entry->d_name))
      unlinkat(dirfd(dir), entry->d_name, 0);
  closedir(dir);
  return 0;
}

void Load() {
  DIR* dir = opendir(g_backing.c_str());
  while (const dirent* entry = dir ? readdir(dir) : nullptr) {
    struct stat st;
    const std::string path = g_backing + "/" + entry->d_name;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    Node node = NewInode(st.st_mode);
    std::ifstream in(path, std::ios::binary);
    node->data.assign(std::istreambuf_iterator<char>(in), {});
    node->durable = node->data;
    g_seen[entry->d_name] = node;
  }
  if (dir) closedir(dir);
  g_disk = g_seen;
}

void* Init(fuse_conn_info*, fuse_config* cfg) {
  // Open files go on by their descriptors once unlinked or renamed over;
  // without hard_remove they would be renamed to hidden names instead.
  cfg->use_ino = cfg->hard_remove = cfg->nullpath_ok = 1;
  // Whoever waits for the mount may go on.
  std::puts("mounted");
  std::fflush(stdout);
  return nullptr;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi) {
  if (Cut()) return -EIO;
  *st = {};
  if (!fi && std::strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    st->st_ino = 1;
    return 0;
  }
  const Node node = Target(path, fi);
  if (!node) return -ENOENT;
  st->st_mode = node->mode;
  st->st_ino = node->ino;
  st->st_size = static_cast<off_t>(node->data.size());
  st->st_mtim = st->st_ctim = st->st_atim = node->mtime;
  for (const auto& entry : g_seen) st->st_nlink += entry.second == node;
  return 0;
}

int ReadDir(const char*, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
            fuse_readdir_flags) {
  if (Cut()) return -EIO;
  fill(buf, ".", nullptr, 0, fuse_fill_dir_flags{});
  fill(buf, "..", nullptr, 0, fuse_fill_dir_flags{});
  for (const auto& entry : g_seen) fill(buf, entry.first.c_str(), nullptr, 0, fuse_fill_dir_flags{});
  return 0;
}

int Opened(const Node& node, fuse_file_info* fi) {
  if (fi->flags & O_DIRECT) ++g_direct;
  if (fi->flags & O_TRUNC) node->data.clear();
  fi->fh = reinterpret_cast<uint64_t>(new Node(node));
  return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* fi) {
  if (Cut()) return -EIO;
  ++g_created;
  return Opened(g_seen[path + 1] = NewInode(mode), fi);
}

int Open(const char* path, fuse_file_info* fi) {
  if (Cut()) return -EIO;
  const Node node = Find(path);
  return node ? Opened(node, fi) : -ENOENT;
}

int Read(const char*, char* buf, size_t size, off_t offset, fuse_file_info* fi) {
  if (Cut()) return -EIO;
  const std::string& data = Of(fi)->data;
  if (static_cast<size_t>(offset) >= data.size()) return 0;
  return static_cast<int>(data.copy(buf, size, static_cast<size_t>(offset)));
}

int Write(const char*, const char* buf, size_t size, off_t offset, fuse_file_info* fi) {
  if (Cut()) return -EIO;
  Inode& node = *Of(fi);
  const size_t end = static_cast<size_t>(offset) + size;
  if (node.data.size() < end) node.data.resize(end);
  node.data.replace(static_cast<size_t>(offset), size, buf, size);
  clock_gettime(CLOCK_REALTIME, &node.mtime);
  return static_cast<int>(size);
}

int Truncate(const char* path, off_t size, fuse_file_info* fi) {
  if (Cut()) return -EIO;
  const Node node = Target(path, fi);
  if (!node) return -ENOENT;
  node->data.resize(static_cast<size_t>(size));
  clock_gettime(CLOCK_REALTIME, &node->mtime);
  return 0;
}

int Chmod(const char* path, mode_t mode, fuse_file_info* fi) {
  if (Cut()) return -EIO;
  const Node node = Target(path, fi);
  if (!node) return -ENOENT;
  node->mode = S_IFREG | (mode & 07777);
  return 0;
}

int Unlink(const char* path) {
  if (Cut(true)) return -EIO;
  return g_seen.erase(path + 1) ? 0 : -ENOENT;
}

int Rename(const char* from, const char* to, unsigned int flags) {
  if (Cut(true)) return -EIO;
  const Node node = Find(from);
  if (!node) return -ENOENT;
  if (flags) return -EINVAL;
  g_seen.erase(from + 1);
  g_seen[to + 1] = node;
  return 0;
}

int Link(const char* from, const char* to) {
  if (Cut(true)) return -EIO;
  const Node node = Find(from);
  if (!node) return -ENOENT;
  return g_seen.emplace(to + 1, node).second ? 0 : -EEXIST;
}

int Flush(const char*, fuse_file_info*) { return Cut(true) ? -EIO : 0; }

int Release(const char*, fuse_file_info* fi) {
  delete &Of(fi);
  return 0;
}

int Fsync(const char*, int, fuse_file_info* fi) {
  if (Cut(true)) return -EIO;
  Of(fi)->durable = Of(fi)->data;
  return Persist();
}

int FsyncDir(const char*, int, fuse_file_info*) {
  if (Cut(true)) return -EIO;
  g_disk = g_seen;
  return Persist();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) {
    fprintf(stderr, "usage: power_cut_fs BACKING MOUNTPOINT REPORT [sync|request N]\n");
    return 2;
  }
  g_backing = argv[1];
  if (argc == 6) {
    g_cutKind = argv[4];
    g_cutAt = std::stol(argv[5]);
  }
  Load();
  fuse_operations ops{};
  ops.init = Init;
  ops.getattr = GetAttr;
  ops.readdir = ReadDir;
  ops.create = Create;
  ops.open = Open;
  ops.read = Read;
  ops.write = Write;
  ops.truncate = Truncate;
  ops.chmod = Chmod;
  ops.unlink = Unlink;
  ops.rename = Rename;
  ops.link = Link;
  ops.flush = Flush;
  ops.release = Release;
  ops.fsync = Fsync;
  ops.fsyncdir = FsyncDir;
  // One request at a time, in the order the kernel sends them.
  char* args[] = {argv[0], const_cast<char*>("-f"), const_cast<char*>("-s"), argv[2]};
  const int status = fuse_main(4, args, &ops, nullptr);
  std::ofstream(argv[3]) << g_syncs << ' ' << g_requests << ' ' << g_created << ' ' << g_direct
                         << '\n';
  return status;
}
