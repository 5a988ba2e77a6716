// An ordered list of byte strings.
#pragma once

#include <string>
#include <vector>

#include "rtl/Object.h"

class TStringList : public TObject {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError "List index out of bounds (%d)" for a bad index.
  const std::string& Strings(int Index) const;
  void SetStrings(int Index, const std::string& S);
  const std::string& operator[](int Index) const { return Strings(Index); }
  int Add(const std::string& S);
  void Insert(int Index, const std::string& S);
  void Delete(int Index);
  void Clear() { FItems.clear(); }
  int IndexOf(const std::string& S) const;
  // The items joined, each followed by CR LF.
  std::string Text() const;

 private:
  void CheckIndex(int Index, bool AllowEnd = false) const;
  std::vector<std::string> FItems;
};
