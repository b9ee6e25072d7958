// The special listings of the built-in file systems and the directory
// set-up of the layer. The all-drives location lists the mapped drive
// letters (KEELWORK_DRIVE_<LETTER>) not hidden by the "NoDrives" policy;
// a UNC server lists its shares, the subdirectories of its directory under
// the UNC root. Other directories go to the file system's own methods.
#include <cstring>
#include <string>
#include <vector>

#include "keelwork/btk_os.h"
#include "keelwork/btk_registry.hpp"
#include "keelwork/objtype.h"
#include "keelwork/pfadir.h"
#include "pfa/pfa_internal.h"
#include "pfa/pfadir_internal.h"
#include "text/file_seam_internal.h"

namespace kw::pfa::dir {

void install_cache_methods(int t);

namespace {

constexpr const char *kPolicyKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

struct Inner {
  pfaloc_fn_FLPPPI open = nullptr;
  pfaloc_fn_FL close = nullptr;
  pfaloc_fn_FLPPPI next = nullptr;
};
Inner g_inner[PFA_LOC_TYPE_COUNT];

struct DriveList {
  std::vector<char> letters;
  size_t pos = 0;
};

bool is_drives(const vex_file *f) {
  return f->loc_type == PFA_LOC_STD_FS && comp(f, PFA_LOC2) == "/";
}

// A server of the UNC file system: a host other than the network root and
// no share.
bool is_server(const vex_file *f) {
  return f->loc_type == PFA_LOC_UNC && comp_len(f, PFA_LOC1) > 2 && comp_len(f, PFA_LOC2) == 0;
}

uint32_t hidden_drives() {
  uint32_t mask = 0;
  btkRegistryKey(kPolicyKey).GetDword("NoDrives", mask);
  return mask;
}

// Drives the user may not view: read once, as a change of policy takes a
// new session.
uint32_t unviewable_drives() {
  static const uint32_t mask = [] {
    uint32_t m = 0;
    btkRegistryKey(kPolicyKey).GetDword("NoViewOnDrive", m);
    return m;
  }();
  return mask;
}

int special_open(vex_file *f, pfa_stream *l, void *a2, void *a3, void *a4, int a5) {
  if (!is_drives(f)) {
    const Inner &in = g_inner[f->loc_type];
    return in.open ? in.open(f, l, a2, a3, a4, a5) : -1;
  }
  auto *list = new DriveList;
  uint32_t hidden = hidden_drives();
  for (char c = 'A'; c <= 'Z'; ++c) {
    if (hidden & (1u << (c - 'A'))) continue;
    std::string var = "KEELWORK_DRIVE_";
    var += c;
    const char *base = btk_getenv(var.c_str());
    if (base && *base) list->letters.push_back(c);
  }
  l->handle = list;
  return 0;
}

int special_close(vex_file *f, pfa_stream *l) {
  if (!is_drives(f)) {
    const Inner &in = g_inner[f->loc_type];
    return in.close ? in.close(f, l) : -1;
  }
  delete static_cast<DriveList *>(l->handle);
  l->handle = nullptr;
  return 0;
}

int special_next(vex_file *f, pfa_stream *l, void *entry_out, void *raw, void *is_dir_out,
                 int size) {
  if (!is_drives(f)) {
    const Inner &in = g_inner[f->loc_type];
    if (!in.next) return -1;
    if (!is_server(f)) return in.next(f, l, entry_out, raw, is_dir_out, size);
    for (;;) {
      int is_dir = 0;
      int r = in.next(f, l, entry_out, raw, &is_dir, size);
      if (r != 0 || is_dir) {
        if (is_dir_out) *static_cast<int *>(is_dir_out) = is_dir;
        return r;
      }
    }
  }
  auto *list = static_cast<DriveList *>(l->handle);
  if (!list) return PFA_E_INACTIVE;
  if (list->pos >= list->letters.size()) return PFA_E_NOT_CACHABLE;
  char letter = list->letters[list->pos++];
  char name[3] = {letter, ':', 0};
  if (raw) {
    if (size > 0 && size < 3) return PFA_E_INVALID_NAME;
    std::memcpy(raw, name, 3);
  }
  if (is_dir_out) *static_cast<int *>(is_dir_out) = 1;
  auto *entry = static_cast<vex_file *>(entry_out);
  if (valid(entry)) {
    reset_record(entry);
    entry->loc_type = PFA_LOC_STD_FS;
    put_component(entry, PFA_LOC2, std::string_view(name, 1));
    put_component(entry, PFA_LOC3, "/");
    entry->obj_type = OBJ_TYPE_DIRECTORY;
    entry->flags |= PFA_F_AS_ON_DISK;
  }
  return 0;
}

void wrap_listing(int t) {
  if (!pfa_location_type_registered(t)) return;
  auto open = reinterpret_cast<pfaloc_fn_FLPPPI>(
      pfaloc_get_func_low(t, PFALOC_PfaDirOpen, PLM_CALL_FLPPPI));
  if (open == special_open) return;
  g_inner[t].open = open;
  g_inner[t].close =
      reinterpret_cast<pfaloc_fn_FL>(pfaloc_get_func_low(t, PFALOC_PfaDirClose, PLM_CALL_FL));
  g_inner[t].next = reinterpret_cast<pfaloc_fn_FLPPPI>(
      pfaloc_get_func_low(t, PFALOC_PfaDirReadNext, PLM_CALL_FLPPPI));
  if (!pfa_loc_register_append(t)) return;
  pfa_loc_method_register_FLPPPI(t, PFALOC_PfaDirOpen, special_open);
  pfa_loc_method_register_FL(t, PFALOC_PfaDirClose, special_close);
  pfa_loc_method_register_FLPPPI(t, PFALOC_PfaDirReadNext, special_next);
  pfa_loc_register_setup(0);
}

}  // namespace

void setup() {
  for (int t : {PFA_LOC_STD_FS, PFA_LOC_UNC}) {
    wrap_listing(t);
    install_cache_methods(t);
  }
  notification_key();
  kw::text::FileLayer layer{};
  layer.console_open = dci_fopen;
  kw::text::set_file_layer(layer);
}

}  // namespace kw::pfa::dir

KW_API int nt_is_allowed_drive(int letter) {
  if (letter >= 'a' && letter <= 'z') letter -= 'a' - 'A';
  if (letter < 'A' || letter > 'Z') return 0;
  return (kw::pfa::dir::unviewable_drives() & (1u << (letter - 'A'))) ? 0 : 1;
}
