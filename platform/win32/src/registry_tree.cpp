#include "registry_tree.h"

#include <algorithm>

#include "res_format_utf.h"

namespace w32c {
namespace {

auto LowerBound(const std::vector<std::unique_ptr<RegKey>>& keys, const std::u16string& name) {
  return std::lower_bound(keys.begin(), keys.end(), name,
                          [](const std::unique_ptr<RegKey>& k, const std::u16string& n) {
                            return CompareNoCase(k->name, n) < 0;
                          });
}

}  // namespace

RegKey* RegKey::Find(const std::u16string& sub) const {
  auto it = LowerBound(subkeys, sub);
  return it != subkeys.end() && CompareNoCase((*it)->name, sub) == 0 ? it->get() : nullptr;
}

RegKey* RegKey::FindOrAdd(const std::u16string& sub, bool* created) {
  auto it = LowerBound(subkeys, sub);
  if (it != subkeys.end() && CompareNoCase((*it)->name, sub) == 0) {
    *created = false;
    return it->get();
  }
  auto key = std::make_unique<RegKey>();
  key->name = sub;
  *created = true;
  return subkeys.insert(it, std::move(key))->get();
}

bool RegKey::Remove(const std::u16string& sub) {
  auto it = LowerBound(subkeys, sub);
  if (it == subkeys.end() || CompareNoCase((*it)->name, sub) != 0) return false;
  subkeys.erase(it);
  return true;
}

const RegValue* RegKey::FindValue(const std::u16string& value) const {
  for (const RegValue& v : values)
    if (EqualNoCase(v.name, value)) return &v;
  return nullptr;
}

bool RegKey::SetValue(const std::u16string& value, uint32_t type, std::vector<uint8_t> data) {
  for (RegValue& v : values) {
    if (!EqualNoCase(v.name, value)) continue;
    if (v.type == type && v.data == data) return false;
    v.type = type;
    v.data = std::move(data);
    return true;
  }
  values.push_back(RegValue{value, type, std::move(data)});
  return true;
}

bool RegKey::RemoveValue(const std::u16string& value) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (EqualNoCase(it->name, value)) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace w32c
