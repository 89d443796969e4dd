// Parameters described once, as data.  Each processor of the package lists
// its parameters in a table of TParamDef: the name under which MakeList
// registers it (or none), the key in the settings file (or none), the field of
// the settings pack, the default, and whether a parameter pack carries it.
// Everything else is derived from the table: the parameter list, reading and
// writing the settings section, the defaults of a new pack, and the copies
// between packs.  No Qt in here.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/inifile.h"
#include "platform/types.h"
#include "procdef/kwproc.h"

namespace kwlib {

template <class P>
using TParamField =
    std::variant<bool P::*, int32_t P::*, float P::*, double P::*, std::string P::*>;
using TParamValue = std::variant<bool, int32_t, float, double, std::string>;

template <class P>
struct TParamDef {
  const char* Name = nullptr;  // parameter name; null: not a parameter
  const char* Key = nullptr;   // settings key; null: not in the settings file
  TParamField<P> Field;
  TParamValue Default;
  bool Copied = true;  // carried by CreateParamPack and GetParams(pack)
  // The values that make sense, for the processor reference ("0..255");
  // null: any value of the type.
  const char* Range = nullptr;

  TKWParamType Type() const { return TKWParamType(Field.index()); }
  // This def with the range given.
  TParamDef In(const char* range) const {
    TParamDef d = *this;
    d.Range = range;
    return d;
  }
};

// Typed constructors: the field, the default and the type always agree.
template <class P>
TParamDef<P> BoolParam(const char* name, const char* key, bool P::*f, bool def) {
  return {name, key, f, def};
}
template <class P>
TParamDef<P> IntParam(const char* name, const char* key, int32_t P::*f, int32_t def) {
  return {name, key, f, def};
}
template <class P>
TParamDef<P> SingleParam(const char* name, const char* key, float P::*f, float def) {
  return {name, key, f, def};
}
template <class P>
TParamDef<P> DoubleParam(const char* name, const char* key, double P::*f, double def) {
  return {name, key, f, def};
}
template <class P>
TParamDef<P> StringParam(const char* name, const char* key, std::string P::*f,
                         const std::string& def) {
  return {name, key, f, def};
}

template <class P>
using TParamTable = std::vector<TParamDef<P>>;

// Address of the def's field inside pack.
template <class P>
void* FieldPtr(const TParamDef<P>& d, P& pack) {
  return std::visit([&](auto m) -> void* { return &(pack.*m); }, d.Field);
}

// Every field of the table to its default.
template <class P>
void SetDefaults(const TParamTable<P>& table, P& pack) {
  for (const auto& d : table)
    std::visit(
        [&](auto m) {
          using T = std::remove_cvref_t<decltype(pack.*m)>;
          pack.*m = std::get<T>(d.Default);
        },
        d.Field);
}

// Fields that packs carry, from one pack to another.
template <class P>
void CopyParams(const TParamTable<P>& table, const P& from, P& to) {
  for (const auto& d : table)
    if (d.Copied) std::visit([&](auto m) { to.*m = from.*m; }, d.Field);
}

// A default as the reference shows it: TRUE/FALSE, decimal integers, the
// shortest text that reads back as the same float, strings in quotes.
std::string DefaultText(const TParamValue& v);

// One entry per named parameter, in table order, pointing into pack, with
// its default and range for the reference.
template <class P>
void RegisterParams(const TParamTable<P>& table, TKWProcessor& proc, P& pack) {
  for (const auto& d : table) {
    if (!d.Name) continue;
    TKWParameter* e = proc.AddParam(d.Name, d.Type(), FieldPtr(d, pack));
    e->Default = DefaultText(d.Default);
    if (d.Range) e->Range = d.Range;
    else if (d.Type() == TKWParamType::ptBoolean) e->Range = "TRUE,FALSE";
  }
}

// Reads every key of the table from section, each with its default.
template <class P>
void ReadParams(const TParamTable<P>& table, const TMemIniFile& ini, const std::string& section,
                P& pack) {
  for (const auto& d : table) {
    if (!d.Key) continue;
    std::visit(
        [&](auto m) {
          using T = std::remove_cvref_t<decltype(pack.*m)>;
          const T& def = std::get<T>(d.Default);
          if constexpr (std::is_same_v<T, bool>)
            pack.*m = ini.ReadBool(section, d.Key, def);
          else if constexpr (std::is_same_v<T, int32_t>)
            pack.*m = ini.ReadInteger(section, d.Key, def);
          else if constexpr (std::is_same_v<T, float>)
            pack.*m = float(ini.ReadFloat(section, d.Key, def));
          else if constexpr (std::is_same_v<T, double>)
            pack.*m = ini.ReadFloat(section, d.Key, def);
          else
            pack.*m = ini.ReadString(section, d.Key, def);
        },
        d.Field);
  }
}

// Writes every key of the table into section.
template <class P>
void WriteParams(const TParamTable<P>& table, TMemIniFile& ini, const std::string& section,
                 const P& pack) {
  for (const auto& d : table) {
    if (!d.Key) continue;
    std::visit(
        [&](auto m) {
          using T = std::remove_cvref_t<decltype(pack.*m)>;
          if constexpr (std::is_same_v<T, bool>)
            ini.WriteBool(section, d.Key, pack.*m);
          else if constexpr (std::is_same_v<T, int32_t>)
            ini.WriteInteger(section, d.Key, pack.*m);
          else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>)
            ini.WriteFloat(section, d.Key, double(pack.*m));
          else
            ini.WriteString(section, d.Key, pack.*m);
        },
        d.Field);
  }
}

// What a processor's panel does for its processor: show the pack's values,
// read them back, and hear of a new current image.  Implemented by the Qt
// panels; the processors only know this interface.
template <class P>
class TParamView {
 public:
  virtual ~TParamView() = default;
  virtual void ReadControls(P& pack) = 0;         // UpdateParam
  virtual void WriteControls(const P& pack) = 0;  // ApplyParam
};

// A processor whose parameters live in a settings pack of class P described
// by P::Table().  Base is TKWBasicFilter, TKWBasicMixer or TKWBasicGenerator.
template <class P, class Base>
class TTableProcessor : public Base {
 public:
  explicit TTableProcessor(P* settings) : settings_(settings) {}

  P* Settings() const { return settings_; }
  TParamView<P>* View = nullptr;  // the panel, not owned

  void MakeList() override { RegisterParams(P::Table(), *this, *settings_); }

  TKWParamPack* CreateParamPack() override {
    auto* p = new P(this);
    CopyParams(P::Table(), *settings_, *p);
    return p;
  }

  TStringList* GetParams(TKWParamPack* ParamPack) override {
    if (!ParamPack) return Base::GetParams(nullptr);
    auto* p = dynamic_cast<P*>(ParamPack);
    if (!p) throw EInvalidCast();
    CopyParams(P::Table(), *p, *settings_);
    return &this->Params;
  }

  void UpdateParam() override {
    if (View) View->ReadControls(*settings_);
  }
  void ApplyParam() {
    if (View) View->WriteControls(*settings_);
  }

 protected:
  P* settings_;
};

}  // namespace kwlib
