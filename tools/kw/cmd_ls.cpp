// kw ls: lists directories through the file layer's sorted scan, with
// each entry's object type, version, size and modification time.
#include <keelwork/btk_os.h>
#include <keelwork/objtype.h>
#include <keelwork/pfa.h>
#include <keelwork/pfadir.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "command.h"

namespace {

struct Options {
  bool all_versions = false;
  bool json = false;
  std::string type;
  std::vector<std::string> dirs;
};

std::string json_string(const std::string &s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

struct Row {
  bool is_dir;
  std::string name, label, ext, time;
  int version;
  long long size;
  long long mtime;
};

Row describe(vex_file *e) {
  Row r{};
  r.is_dir = pfa_is_dir(e);
  char buf[PFA_NAME_SIZE];
  pfa_get_name(e, buf);
  r.name = buf;
  if (!r.is_dir) {
    char ext[PFA_NAME_SIZE];
    if (pfa_get_file_name(e, PFA_M_NAME | PFA_M_EXT | PFA_M_VERSION | PFA_M_STRING_VERSION, buf) ==
        0)
      r.name = buf;
    if (pfa_get_extension(e, ext) == 0) r.ext = ext;
  }
  int32_t type = pfa_get_obj_type(e);
  if (r.is_dir) {
    r.label = "Directory";
  } else if (type > 0) {
    const char *label = get_db_type_label(type);
    r.label = label && *label ? label : "File";
  } else {
    r.label = "File";
  }
  r.version = pfa_get_version(e);
  r.size = -1;
  r.mtime = -1;
  char path[4096];
  btk_stat_t st;
  if (pfa_get_os_path(e, path, sizeof path) == 0 && btk_stat(path, &st) == 0) {
    if (!r.is_dir) r.size = st.size;
    r.mtime = st.mtime;
    std::time_t t = static_cast<std::time_t>(st.mtime);
    std::tm tm{};
    localtime_r(&t, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &tm);
    r.time = when;
  }
  return r;
}

int list_one(const std::string &arg, const Options &o, bool first, bool many) {
  vex_file *dir = pfa_alloc_dir(arg.c_str());
  if (!dir) {
    if (!o.json) std::fprintf(stderr, "kw ls: %s: not a valid directory name\n", arg.c_str());
    return 1;
  }
  int flags = o.all_versions ? 0 : PFA_SCAN_HIGHEST;
  Pfa_Scan_Filter filter{};
  if (!o.type.empty()) {
    std::u16string w = u"*.";
    for (char c : o.type) w += static_cast<char16_t>(static_cast<unsigned char>(c));
    wstring_to_Pfa_Scan_FIlter(reinterpret_cast<const kw_wchar *>(w.c_str()), 0, 0, &filter);
  }
  vex_file **list = nullptr;
  int count = 0;
  int r = pfa_scandir(dir, flags, &filter, &list, &count);
  pfa_clean_scan_filter(&filter);
  char full[PFA_NAME_SIZE];
  pfa_get_full_name(dir, full);
  if (r != 0) {
    if (o.json)
      std::printf("%s{\"dir\": %s, \"error\": %s}", first ? "" : ",\n", json_string(full).c_str(),
                  json_string(pfa_error_to_string(r)).c_str());
    else
      std::fprintf(stderr, "kw ls: %s: cannot list (%s)\n", arg.c_str(), pfa_error_to_string(r));
    pfa_free_vex_file(&dir);
    return 1;
  }
  if (o.json) {
    std::printf("%s{\"dir\": %s, \"entries\": [", first ? "" : ",\n", json_string(full).c_str());
    for (int i = 0; i < count; ++i) {
      Row row = describe(list[i]);
      std::printf(
          "%s\n  {\"name\": %s, \"type\": %s, \"object_type\": %d, \"version\": %d, "
          "\"size\": %lld, \"mtime\": %lld}",
          i ? "," : "", json_string(row.name).c_str(), json_string(row.label).c_str(),
          pfa_get_obj_type(list[i]), row.version, row.size, row.mtime);
    }
    std::printf("%s]}", count ? "\n" : "");
  } else {
    if (many) std::printf("%s%s:\n", first ? "" : "\n", arg.c_str());
    for (int i = 0; i < count; ++i) {
      Row row = describe(list[i]);
      std::string version = row.version ? std::to_string(row.version) : "-";
      std::string size = row.size >= 0 ? std::to_string(row.size) : "-";
      std::printf("%-18s %4s %8s  %-16s  %s%s\n", row.label.c_str(), version.c_str(), size.c_str(),
                  row.time.c_str(), row.name.c_str(), row.is_dir ? "/" : "");
    }
    if (count == 0) std::printf("(empty)\n");
  }
  pfa_free_scan_list(&list, count);
  pfa_free_vex_file(&dir);
  return 0;
}

int run(const KwArgs &args) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (a == "--all-versions") {
      o.all_versions = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--type") {
      if (i + 1 >= args.size()) return kw_fail("ls", 2, "--type needs an extension");
      o.type = args[++i];
    } else if (a.rfind("--type=", 0) == 0) {
      o.type = a.substr(7);
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return kw_fail("ls", 2, "unknown option " + a + " (see kw ls --help)");
    } else {
      o.dirs.push_back(a);
    }
  }
  if (!o.type.empty() && o.type[0] == '.') o.type.erase(0, 1);
  if (o.dirs.empty()) o.dirs.push_back(".");
  int status = 0;
  if (o.json) std::printf("[");
  for (size_t i = 0; i < o.dirs.size(); ++i)
    status |= list_one(o.dirs[i], o, i == 0, o.dirs.size() > 1);
  if (o.json) std::printf("]\n");
  return status;
}

const KwCommand kCommand{"ls", "list directories with types and versions",
                         "usage: kw ls [--all-versions] [--type EXT] [--json] [DIR...]\n\n"
                         "Lists each directory (default: the current one) sorted as the file\n"
                         "layer sorts it: directories first, then by name, extension and version.\n"
                         "Each line shows the object type's label, the numeric version, the size\n"
                         "in bytes, the modification time and the name. Only the highest version\n"
                         "of each file is shown unless --all-versions is given; --type EXT keeps\n"
                         "the files of that extension's object type (and the directories);\n"
                         "--json prints one object per directory. Exits 1 when a directory\n"
                         "cannot be listed.\n",
                         run};

}  // namespace
