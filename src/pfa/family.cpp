// Family names ("instance<generic>") and the wide-name parsers that split a
// name into directory, name (or instance and generic), extension and
// version.
#include <cstring>
#include <string>

#include "keelwork/debug.h"
#include "keelwork/objtype.h"
#include "keelwork/pfa.h"
#include "keelwork/status_codes.h"
#include "pfa/pfa_internal.h"

namespace kw::pfa {
namespace {

using wstring = std::u16string;
using wview = std::u16string_view;

bool is_wsep(char16_t c) { return c == u'/' || c == u'\\'; }

wview wide_arg(const kw_wchar *w) { return w ? wview(w) : wview(); }

bool copy_w(kw_wchar *out, wview s) {
  if (!out) return true;
  if (s.size() >= static_cast<size_t>(kNameSize)) {
    out[0] = 0;
    return false;
  }
  copy_bytes(out, s.data(), s.size() * sizeof(kw_wchar));
  out[s.size()] = 0;
  return true;
}

size_t last_segment_start(wview s) {
  size_t sep = s.find_last_of(u"/\\");
  return sep == wview::npos ? 0 : sep + 1;
}

// The family form of a name: '<' generic '>' with '>' last.
bool split_form(wview name, wview &instance, wview &generic) {
  if (name.size() < 3 || name.back() != u'>') return false;
  size_t lt = name.find(u'<');
  if (lt == wview::npos || lt + 1 >= name.size() - 1) return false;
  generic = name.substr(lt + 1, name.size() - lt - 2);
  if (generic.find_first_of(u"<>") != wview::npos) return false;
  instance = name.substr(0, lt);
  return true;
}

std::string narrow(wview w) {
  std::string out(w.size() * 3 + 1, '\0');
  wstring tmp(w);
  if (!to_bytes(tmp.c_str(), out.data(), out.size())) return {};
  out.resize(std::strlen(out.c_str()));
  return out;
}

wstring widen(std::string_view s) {
  std::string tmp(s);
  wstring out(s.size() + 1, u'\0');
  if (!to_wide(tmp.c_str(), out.data(), out.size())) return {};
  out.resize(std::char_traits<char16_t>::length(out.c_str()));
  return out;
}

// Static part buffers of the wide parsers, one set per thread.
struct ParseBuffers {
  kw_wchar dir[kNameSize], name[kNameSize], generic[kNameSize], ext[kNameSize], version[16];
};
thread_local ParseBuffers t_parts;

kw_wchar *part(kw_wchar *buf, wview s) {
  if (s.empty()) return nullptr;
  copy_w(buf, s);
  return buf;
}

// Splits a wide name into directory, name, extension and version text.
int parse_buffer(wview w, wview &dir, wstring &name, wstring &ext, int &version) {
  size_t seg = last_segment_start(w);
  dir = w.substr(0, seg);
  std::string tail = narrow(w.substr(seg));
  if (tail.empty() && seg < w.size()) return PFA_E_NOT_VALID;
  Tail parts;
  if (!tail.empty()) {
    if (tail[0] == '.' && hide_initial_dot_files())
      parts.name = tail;
    else
      split_tail(tail, true, false, parts);
  }
  name = widen(parts.name);
  ext = widen(parts.ext);
  version = parts.version;
  if (name.size() >= 66) {
    dbg_err_crash("parse_filename_buffer", "name too long");
    return PFA_E_NOT_VALID;
  }
  return 0;
}

int parse_common(const kw_wchar *wname, kw_wchar **dir, kw_wchar **name, kw_wchar **ext,
                 kw_wchar **version, wstring *rest_override) {
  if (dir) *dir = nullptr;
  if (name) *name = nullptr;
  if (ext) *ext = nullptr;
  if (version) *version = nullptr;
  if (!wname) return PFA_E_NOT_VALID;
  wview w = rest_override ? wview(*rest_override) : wview(wname);
  if (w.size() > static_cast<size_t>(kNameSize)) {
    dbg_err_crash("parse_filename", "Filename too long");
    return PFA_E_NOT_VALID;
  }
  wview d;
  wstring n, e;
  int v = 0;
  int r = parse_buffer(w, d, n, e, v);
  if (r != 0) return r;
  ParseBuffers &b = t_parts;
  if (dir) *dir = part(b.dir, d);
  if (name) *name = part(b.name, n);
  if (ext) *ext = part(b.ext, e);
  if (version && v != 0) {
    std::string text = std::to_string(v);
    for (size_t i = 0; i <= text.size(); ++i) b.version[i] = static_cast<kw_wchar>(text[i]);
    *version = b.version;
  }
  return 0;
}

}  // namespace
}  // namespace kw::pfa

using namespace kw::pfa;

extern "C" {

int split_family_name(const kw_wchar *wname, kw_wchar *generic, kw_wchar *instance) {
  if (!wname || !generic || !instance) return E_INVALID_INPUT;
  wview inst, gen;
  wview name(wname);
  if (split_form(name, inst, gen)) {
    if (!copy_w(generic, gen) || !copy_w(instance, inst)) return E_INVALID_INPUT;
  } else {
    if (!copy_w(generic, name)) return E_INVALID_INPUT;
    instance[0] = 0;
  }
  return 0;
}

int make_family_fullname_low(const kw_wchar *dir, const kw_wchar *instance, const kw_wchar *generic,
                             const kw_wchar *ext, int version, kw_wchar *out) {
  if (!out) return PFA_E_ERROR;
  out[0] = 0;
  wstring s(wide_arg(dir));
  if (!s.empty() && !is_wsep(s.back())) {
    if (s.size() >= static_cast<size_t>(kMaxName))
      dbg_err_crash("make_family_fullname_low", "max len of %d exceeded", kMaxName);
    else
      s += u'\\';
  }
  wview inst = wide_arg(instance), gen = wide_arg(generic);
  if (inst.empty() || inst == gen) {
    s += gen;
  } else {
    s += inst;
    s += u'<';
    s += gen;
    s += u'>';
  }
  if (ext && *ext) {
    s += u'.';
    s += ext;
  }
  if (version != 0) {
    s += u'.';
    s += widen(std::to_string(version));
  }
  if (s.size() >= static_cast<size_t>(kNameSize)) return PFA_E_ERROR;
  copy_w(out, s);
  return 0;
}

int make_family_name(const kw_wchar *instance, const kw_wchar *generic, kw_wchar *out) {
  return make_family_fullname_low(nullptr, instance, generic, nullptr, 0, out);
}

int make_family_name_w_ext(const kw_wchar *instance, const kw_wchar *generic, int32_t type,
                           kw_wchar *out) {
  std::string ext(type_to_extension(type));
  ascii_lower(ext.data(), ext.size());
  wstring wext = widen(ext);
  return make_family_fullname_low(nullptr, instance, generic, wext.c_str(), 0, out);
}

int is_family_name(const kw_wchar *wname) {
  if (!wname) return 0;
  wview w(wname);
  wview seg = w.substr(last_segment_start(w));
  size_t lt = seg.find(u'<');
  return lt != wview::npos && seg.find(u'>', lt + 1) != wview::npos;
}

int filename_extract_gen_and_inst(const kw_wchar *wname, kw_wchar *rest, kw_wchar *generic) {
  if (rest) rest[0] = 0;
  if (generic) generic[0] = 0;
  if (!wname) return PFA_E_NOT_VALID;
  wview w(wname);
  size_t seg = last_segment_start(w);
  size_t lt = w.find(u'<', seg);
  if (lt == wview::npos) return copy_w(rest, w) ? 0 : PFA_E_NOT_VALID;
  size_t gt = w.find(u'>', lt + 1);
  if (gt == wview::npos || w.find(u'>', gt + 1) != wview::npos ||
      w.substr(seg, lt - seg).find(u'>') != wview::npos)
    return PFA_E_NOT_VALID;
  wstring r(w.substr(0, lt));
  r += w.substr(gt + 1);
  if (!copy_w(generic, w.substr(lt + 1, gt - lt - 1)) || !copy_w(rest, r)) return PFA_E_NOT_VALID;
  return 0;
}

int pfa_get_family_name(const vex_file *f, char *generic, char *instance) {
  if (generic) generic[0] = 0;
  if (instance) instance[0] = 0;
  if (!valid(f)) return PFA_E_NOT_VALID;
  if (!generic || !instance) return PFA_E_INVALID_INPUT;
  std::string_view name = comp(f, PFA_NAME);
  size_t lt = name.find('<');
  if (is_family_form(name)) {
    std::string_view gen = name.substr(lt + 1, name.size() - lt - 2);
    copy_bytes(generic, gen.data(), gen.size());
    generic[gen.size()] = 0;
    copy_bytes(instance, name.data(), lt);
    instance[lt] = 0;
  } else {
    copy_bytes(generic, name.data(), name.size());
    generic[name.size()] = 0;
  }
  return 0;
}

int pfa_get_family_wname(const vex_file *f, kw_wchar *generic, kw_wchar *instance) {
  if (generic) generic[0] = 0;
  if (instance) instance[0] = 0;
  char g[kNameSize], i[kNameSize];
  int r = pfa_get_family_name(f, g, i);
  if (r != 0) return r;
  if (!to_wide(g, generic, kNameSize) || !to_wide(i, instance, kNameSize))
    return PFA_E_INVALID_INPUT;
  return 0;
}

int pfa_get_vex_family_wname(const vex_file *f, kw_wchar *generic, kw_wchar *instance) {
  int r = pfa_get_family_wname(f, generic, instance);
  if (r != 0) return r;
  if (std::char_traits<char16_t>::length(generic) >= 32 ||
      std::char_traits<char16_t>::length(instance) >= 32)
    return PFA_E_NO_SPACE;
  return 0;
}

int get_gen_name(const kw_wchar *wname, kw_wchar *wout) {
  if (!wname || !wout) return PFA_E_INVALID_INPUT;
  wview w(wname);
  size_t seg = last_segment_start(w);
  wview last = w.substr(seg);
  // The family form ends the name: split off extension and version first.
  std::string tail = narrow(last);
  Tail parts;
  split_tail(tail, true, false, parts);
  wstring name = widen(parts.name);
  wview inst, gen;
  if (!split_form(name, inst, gen)) return copy_w(wout, w) ? 0 : PFA_E_INVALID_INPUT;
  wstring out(w.substr(0, seg));
  out += gen;
  out += widen(std::string_view(tail).substr(parts.name.size()));
  return copy_w(wout, out) ? 0 : PFA_E_INVALID_INPUT;
}

int parse_filename(const kw_wchar *wname, kw_wchar **dir, kw_wchar **name, kw_wchar **ext,
                   kw_wchar **version) {
  return parse_common(wname, dir, name, ext, version, nullptr);
}

int generic_parse_filename(const kw_wchar *wname, kw_wchar **dir, kw_wchar **instance,
                           kw_wchar **generic, kw_wchar **ext, kw_wchar **version) {
  if (instance) *instance = nullptr;
  if (generic) *generic = nullptr;
  kw_wchar *name = nullptr;
  int r = parse_common(wname, dir, &name, ext, version, nullptr);
  if (r != 0 || !name) return r;
  wview inst, gen;
  wstring n(name);
  ParseBuffers &b = t_parts;
  if (split_form(n, inst, gen)) {
    wstring i(inst), g(gen);
    if (instance) *instance = part(b.name, i);
    if (generic) *generic = part(b.generic, g);
  } else if (generic) {
    *generic = part(b.generic, n);
  }
  return 0;
}

int generic_parse_filename_weak_check(const kw_wchar *wname, kw_wchar **dir, kw_wchar **instance,
                                      kw_wchar **generic, kw_wchar **ext, kw_wchar **version) {
  if (instance) *instance = nullptr;
  if (generic) *generic = nullptr;
  if (!wname) return PFA_E_NOT_VALID;
  wview w(wname);
  size_t seg = last_segment_start(w);
  size_t lt = w.find(u'<', seg);
  size_t gt = w.find(u'>', seg);
  if (lt == wview::npos) {
    if (gt != wview::npos) return PFA_E_NOT_VALID;
    return generic_parse_filename(wname, dir, instance, generic, ext, version);
  }
  if (gt == wview::npos || gt < lt) return PFA_E_NOT_VALID;
  wstring gen(w.substr(lt + 1, gt - lt - 1));
  wstring rest(w.substr(0, lt));
  rest += w.substr(gt + 1);
  kw_wchar *name = nullptr;
  int r = parse_common(wname, dir, &name, ext, version, &rest);
  if (r != 0) return r;
  ParseBuffers &b = t_parts;
  if (generic) *generic = part(b.generic, gen);
  if (instance) *instance = name;
  return 0;
}

}  // extern "C"
