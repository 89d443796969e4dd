#include "proclib/paramtable.h"

#include <charconv>

namespace kwlib {

std::string DefaultText(const TParamValue& v) {
  return std::visit(
      [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, bool>) {
          return x ? "TRUE" : "FALSE";
        } else if constexpr (std::is_same_v<T, std::string>) {
          return "\"" + x + "\"";
        } else {
          char buf[64];
          auto r = std::to_chars(buf, buf + sizeof buf, x);
          return std::string(buf, r.ptr);
        }
      },
      v);
}

}  // namespace kwlib
