// Trail substitution and both environment expanders on arbitrary text.
#include <keelwork/runmode.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool once = [] {
    clearenv();  // only the variables below: expansions stay bounded
    setenv("FZ_A", "alpha", 1);
    setenv("FZ_SELF", "$FZ_SELF", 1);
    setenv("FZ_GROW", "$FZ_GROW$FZ_GROW", 1);
    setenv("FZ_B", "${FZ_A}$FZ_A", 1);
    trl_define_substitution(u"A", u"x");
    trl_define_substitution(u"LONG", u"$FZ_A$FZ_A$FZ_A$FZ_A$FZ_A$FZ_A$FZ_A$FZ_A$FZ_A");
    return true;
  }();
  (void)once;
  // The input as UTF-16 units, two bytes each, without terminators.
  std::vector<kw_wchar> text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    kw_wchar c = static_cast<kw_wchar>(data[i] | (data[i + 1] << 8));
    if (c == 0) c = u'$';
    text.push_back(c);
  }
  if (text.size() > 259) text.resize(259);

  std::vector<kw_wchar> line(text);
  line.resize(260, 0);
  trl_substitute_variables(line.data(), 1);

  std::vector<kw_wchar> counted(text);
  counted.resize(300, 0);
  HandleEnvVars_ct(counted.data(), 300);

  // handle_env_vars needs room for the result: each "$NAME" can grow to the
  // longest value defined above.
  std::vector<kw_wchar> plain(text);
  plain.push_back(0);
  plain.resize(plain.size() * 32 + 64, 0);
  handle_env_vars(plain.data());

  std::vector<kw_wchar> definition(text.begin(),
                                   text.begin() + (text.size() < 40 ? text.size() : 40));
  definition.push_back(0);
  set_trail_substitution(nullptr, definition.data());
  return 0;
}
