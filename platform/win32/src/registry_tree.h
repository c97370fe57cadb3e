// The registry's keys and values in memory: one tree per root key, read from and written
// to that root's file on every call.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace w32c {

struct RegValue {
  std::u16string name;  // empty: the key's default value
  uint32_t type = 0;
  std::vector<uint8_t> data;  // as Windows keeps it: strings in UTF-16LE
};

struct RegKey {
  std::u16string name;
  std::vector<RegValue> values;                  // in creation order
  std::vector<std::unique_ptr<RegKey>> subkeys;  // in case-insensitive name order

  RegKey* Find(const std::u16string& sub) const;
  // The subkey, created when missing (*created tells which).
  RegKey* FindOrAdd(const std::u16string& sub, bool* created);
  bool Remove(const std::u16string& sub);
  const RegValue* FindValue(const std::u16string& value) const;
  // True when the value changed (a new value, type or data).
  bool SetValue(const std::u16string& value, uint32_t type, std::vector<uint8_t> data);
  bool RemoveValue(const std::u16string& value);
};

}  // namespace w32c
