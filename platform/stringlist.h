// TStringList: an ordered list of strings, each with an attached object
// pointer (not owned).  Unsorted, duplicates allowed; IndexOf compares
// without regard to case and returns the first match.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Case-insensitive comparison of ASCII letters; other bytes compare as they are.
bool SameText(std::string_view a, std::string_view b);
// Upper-cases ASCII letters and the full-width Latin letters of UTF-8 text.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

class TStringList {
 public:
  int Count() const { return int(items_.size()); }
  int Add(const std::string& s) { return AddObject(s, nullptr); }
  int AddObject(const std::string& s, void* obj);
  void Insert(int index, const std::string& s, void* obj = nullptr);
  void Delete(int index);
  void Clear() { items_.clear(); }
  // First index whose string equals s without regard to case; -1 if none.
  int IndexOf(std::string_view s) const;
  int IndexOfObject(const void* obj) const;

  // Index out of range raises Exception ("List index out of bounds").
  const std::string& Strings(int i) const { return item(i).text; }
  void SetString(int i, const std::string& s) { item(i).text = s; }
  void* Objects(int i) const { return item(i).object; }
  void SetObject(int i, void* obj) { item(i).object = obj; }
  template <class T>
  T* ObjectAs(int i) const { return static_cast<T*>(Objects(i)); }

  // Lines joined with CR LF, each line followed by CR LF.
  std::string Text() const;
  // Splits at CR LF, LF or CR.
  void SetText(std::string_view text);

 private:
  struct Item {
    std::string text;
    void* object = nullptr;
  };
  const Item& item(int i) const;
  Item& item(int i) { return const_cast<Item&>(static_cast<const TStringList*>(this)->item(i)); }
  std::vector<Item> items_;
};
