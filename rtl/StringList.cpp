#include "rtl/StringList.h"

#include "rtl/SysUtils.h"

void TStringList::CheckIndex(int Index, bool AllowEnd) const {
  int limit = Count() + (AllowEnd ? 1 : 0);
  if (Index < 0 || Index >= limit) throw EListError(Format("List index out of bounds (%d)", Index));
}

const std::string& TStringList::Strings(int Index) const {
  CheckIndex(Index);
  return FItems[static_cast<size_t>(Index)];
}

void TStringList::SetStrings(int Index, const std::string& S) {
  CheckIndex(Index);
  FItems[static_cast<size_t>(Index)] = S;
}

int TStringList::Add(const std::string& S) {
  FItems.push_back(S);
  return Count() - 1;
}

void TStringList::Insert(int Index, const std::string& S) {
  CheckIndex(Index, true);
  FItems.insert(FItems.begin() + Index, S);
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  FItems.erase(FItems.begin() + Index);
}

int TStringList::IndexOf(const std::string& S) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i] == S) return static_cast<int>(i);
  return -1;
}

std::string TStringList::Text() const {
  std::string r;
  for (const auto& s : FItems) r += s + "\r\n";
  return r;
}
