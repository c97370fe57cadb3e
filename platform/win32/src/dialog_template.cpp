// Reading dialog templates.  Items start on 4-byte boundaries counted from the start of
// the template, which the resource compiler aligns.
#include "dialog_template.h"

#include <cstring>

namespace w32c::user {
namespace {

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }

  WORD U16() {
    WORD v = 0;
    Take(&v, 2);
    return v;
  }
  DWORD U32() {
    DWORD v = 0;
    Take(&v, 4);
    return v;
  }
  short S16() { return static_cast<short>(U16()); }
  uint8_t U8() {
    uint8_t v = 0;
    Take(&v, 1);
    return v;
  }
  void Align4() {
    size_t p = (pos_ + 3) & ~static_cast<size_t>(3);
    if (p > size_) ok_ = false;
    else pos_ = p;
  }
  void Bytes(std::vector<uint8_t>* out, size_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return;
    }
    out->assign(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
  }

  // A NUL-terminated UTF-16 string, converted to UTF-8.
  std::string String() {
    std::string s;
    for (;;) {
      if (!ok_) return s;
      WORD c = U16();
      if (!ok_ || c == 0) return s;
      uint32_t cp = c;
      if (c >= 0xD800 && c < 0xDC00) {
        size_t save = pos_;
        WORD lo = U16();
        if (ok_ && lo >= 0xDC00 && lo < 0xE000) {
          cp = 0x10000 + ((c - 0xD800u) << 10) + (lo - 0xDC00u);
        } else {
          ok_ = true;
          pos_ = save;
          cp = 0xFFFD;
        }
      } else if (c >= 0xDC00 && c < 0xE000) {
        cp = 0xFFFD;
      }
      Append(&s, cp);
    }
  }

  NameOrOrdinal NameOrOrd() {
    NameOrOrdinal n;
    WORD first = U16();
    if (!ok_ || first == 0) return n;
    n.present = true;
    if (first == 0xFFFF) {
      n.is_ordinal = true;
      n.ordinal = U16();
      return n;
    }
    pos_ -= 2;
    n.name = String();
    return n;
  }

 private:
  void Take(void* out, size_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return;
    }
    memcpy(out, data_ + pos_, n);
    pos_ += n;
  }
  static void Append(std::string* s, uint32_t cp) {
    if (cp < 0x80) {
      s->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      s->push_back(static_cast<char>(0xC0 | (cp >> 6)));
      s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      s->push_back(static_cast<char>(0xE0 | (cp >> 12)));
      s->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      s->push_back(static_cast<char>(0xF0 | (cp >> 18)));
      s->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      s->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      s->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace

bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate* out) {
  if (!data || !out) return false;
  *out = DialogTemplate{};
  Reader r(data, size);
  WORD version = r.U16();
  WORD signature = r.U16();
  if (!r.ok()) return false;
  WORD count;
  if (version == 1 && signature == 0xFFFF) {
    out->extended = true;
    r.U32();  // help id
    out->exstyle = r.U32();
    out->style = r.U32();
  } else {
    Reader again(data, size);
    r = again;
    out->style = r.U32();
    out->exstyle = r.U32();
  }
  count = r.U16();
  out->x = r.S16();
  out->y = r.S16();
  out->cx = r.S16();
  out->cy = r.S16();
  out->menu = r.NameOrOrd();
  out->cls = r.NameOrOrd();
  out->title = r.NameOrOrd();
  if (out->style & DS_SETFONT) {
    out->point_size = r.U16();
    if (out->extended) {
      out->weight = r.U16();
      out->italic = r.U8() != 0;
      r.U8();  // character set
    }
    out->font = r.String();
  }
  if (!r.ok()) return false;
  // Every item needs at least 18 bytes: a count beyond what the data can hold is refused
  // before anything is reserved for it.
  if (static_cast<size_t>(count) * 18 > size) return false;
  out->items.reserve(count);
  for (WORD i = 0; i < count; ++i) {
    r.Align4();
    DialogItem item;
    if (out->extended) {
      r.U32();  // help id
      item.exstyle = r.U32();
      item.style = r.U32();
    } else {
      item.style = r.U32();
      item.exstyle = r.U32();
    }
    item.x = r.S16();
    item.y = r.S16();
    item.cx = r.S16();
    item.cy = r.S16();
    item.id = out->extended ? r.U32() : r.U16();
    item.cls = r.NameOrOrd();
    item.title = r.NameOrOrd();
    WORD extra = r.U16();
    // The count of creation-data bytes that follow.
    if (extra) r.Bytes(&item.creation_data, extra);
    if (!r.ok() || !item.cls.present) return false;
    out->items.push_back(std::move(item));
  }
  return r.ok();
}

}  // namespace w32c::user
