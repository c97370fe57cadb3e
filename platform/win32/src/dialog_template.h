// The binary dialog template (DLGTEMPLATE or DLGTEMPLATEEX with their items), read with
// every length and offset checked against the template's size.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace w32c::user {

// A name or an ordinal, as templates store classes and titles.
struct NameOrOrdinal {
  bool present = false;
  bool is_ordinal = false;
  WORD ordinal = 0;
  std::string name;  // UTF-8
};

struct DialogItem {
  DWORD style = 0;
  DWORD exstyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  NameOrOrdinal cls;
  NameOrOrdinal title;
  std::vector<uint8_t> creation_data;
};

struct DialogTemplate {
  bool extended = false;
  DWORD style = 0;
  DWORD exstyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu;
  NameOrOrdinal cls;
  NameOrOrdinal title;
  WORD point_size = 0;
  WORD weight = 0;
  bool italic = false;
  std::string font;
  std::vector<DialogItem> items;
};

// False when the template is truncated or malformed.
bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate* out);

}  // namespace w32c::user
