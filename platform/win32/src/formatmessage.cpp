// FormatMessageA for system messages: the English texts of the Win32 error codes.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

namespace {

struct Message {
  DWORD id;
  const char* text;  // without the final line break
};

// Sorted by id.
const Message kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {9, "The storage control block address is invalid."},
    {11, "An attempt was made to load a program with an incorrect format."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {15, "The system cannot find the drive specified."},
    {16, "The directory cannot be removed."},
    {17, "The system cannot move the file to a different disk drive."},
    {18, "There are no more files."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {24, "The program issued a command but the command length is incorrect."},
    {25, "The drive cannot locate a specific area or track on the disk."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33, "The process cannot access the file because another process has locked a portion of "
         "the file."},
    {34, "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into "
         "drive %1."},
    {38, "Reached the end of the file."},
    {39, "The disk is full."},
    {50, "The request is not supported."},
    {53, "The network path was not found."},
    {80, "The file exists."},
    {82, "The directory or file cannot be created."},
    {87, "The parameter is incorrect."},
    {107, "The program stopped because an alternate diskette was not inserted."},
    {109, "The pipe has been ended."},
    {110, "The system cannot open the device or file specified."},
    {111, "The file name is too long."},
    {112, "There is not enough space on the disk."},
    {120, "This function is not supported on this system."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {132, "The file pointer cannot be set on the specified device or file."},
    {144, "The directory is not a subdirectory of the root directory."},
    {145, "The directory is not empty."},
    {154, "The volume label you entered exceeds the label character limit of the target file "
          "system."},
    {158, "The segment is already unlocked."},
    {161, "The specified path is invalid."},
    {167, "Unable to lock a region of a file."},
    {170, "The requested resource is in use."},
    {183, "Cannot create a file when that file already exists."},
    {193, "%1 is not a valid Win32 application."},
    {203, "The system could not find the environment option that was entered."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {288, "Attempt to release mutex not owned by caller."},
    {299, "Only part of a ReadProcessMemory or WriteProcessMemory request was completed."},
    {317, "The system cannot find message text for message number 0x%1 in the message file "
          "for %2."},
    {487, "Attempt to access invalid address."},
    {534, "Arithmetic result exceeded 32 bits."},
    {998, "Invalid access to memory location."},
    {1004, "Invalid flags."},
    {1005, "The volume does not contain a recognized file system.\r\nPlease make sure that all "
           "required file system drivers are loaded and that the volume is not corrupted."},
    {1006, "The volume for a file has been externally altered so that the opened file is no "
           "longer valid."},
    {1010, "The configuration registry key is invalid."},
    {1011, "The configuration registry key could not be opened."},
    {1012, "The configuration registry key could not be read."},
    {1013, "The configuration registry key could not be written."},
    {1015, "The registry is corrupted. The structure of one of the files containing registry "
           "data is corrupted, or the system's memory image of the file is corrupted, or the "
           "file could not be recovered because the alternate copy or log was absent or "
           "corrupted."},
    {1016, "An I/O operation initiated by the registry failed unrecoverably. The registry "
           "could not read in, or write out, or flush, one of the files that contain the "
           "system's image of the registry."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
    {1114, "A dynamic link library (DLL) initialization routine failed."},
    {1223, "The operation was canceled by the user."},
    {1400, "Invalid window handle."},
    {1401, "Invalid menu handle."},
    {1407, "Cannot find window class."},
    {1408, "Invalid window; it belongs to other thread."},
    {1410, "Class already exists."},
    {1411, "Class does not exist."},
    {1413, "Invalid index."},
    {1421, "Control ID not found."},
    {1460, "This operation returned because the timeout period expired."},
    {1812, "The specified image file did not contain a resource section."},
    {1813, "The specified resource type cannot be found in the image file."},
    {1814, "The specified resource name cannot be found in the image file."},
    {1815, "The specified resource language ID cannot be found in the image file."},
    {1816, "Not enough quota is available to process this command."},
    {1921, "The name of the file cannot be resolved by the system."},
};

const char* Lookup(DWORD id) {
  size_t lo = 0, hi = sizeof kMessages / sizeof kMessages[0];
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kMessages[mid].id == id) return kMessages[mid].text;
    if (kMessages[mid].id < id)
      lo = mid + 1;
    else
      hi = mid;
  }
  return nullptr;
}

// An insert "%n" or "%n!fmt!": its number and printf conversion (default "s").
struct Insert {
  int number;
  std::string format;
  size_t length;  // characters of the sequence in the text
};

bool ParseInsert(const char* p, Insert* out) {
  if (p[0] != '%' || p[1] < '1' || p[1] > '9') return false;
  size_t i = 1;
  int n = 0;
  while (p[i] >= '0' && p[i] <= '9' && i < 3) n = n * 10 + (p[i++] - '0');
  out->number = n;
  out->format = "s";
  if (p[i] == '!') {
    const char* end = strchr(p + i + 1, '!');
    if (end) {
      out->format.assign(p + i + 1, end);
      i = static_cast<size_t>(end - p) + 1;
    }
  }
  out->length = i;
  return true;
}

bool IsStringFormat(const std::string& f) { return !f.empty() && (f.back() == 's'); }

// Expands escapes and inserts.  args: the values of inserts 1..n as pointer-sized numbers.
bool Expand(const std::string& text, const std::vector<DWORD_PTR>& args, std::string* out) {
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '%' || i + 1 >= text.size()) {
      *out += text[i++];
      continue;
    }
    Insert ins;
    if (ParseInsert(text.c_str() + i, &ins)) {
      if (static_cast<size_t>(ins.number) > args.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
      }
      DWORD_PTR v = args[static_cast<size_t>(ins.number) - 1];
      std::string f = "%" + ins.format;
      char buffer[512];
      if (IsStringFormat(ins.format)) {
        const char* s = reinterpret_cast<const char*>(v);
        *out += s ? s : "(null)";
      } else {
        // Integer conversions: widths as given, the value as a 32-bit number.
        std::string conv;
        for (char c : ins.format)
          if (c != 'l' && c != 'h' && c != 'I' && c != '6' && c != '4') conv += c;
        snprintf(buffer, sizeof buffer, ("%" + conv).c_str(), static_cast<unsigned>(v));
        *out += buffer;
      }
      i += ins.length;
      continue;
    }
    char c = text[i + 1];
    i += 2;
    switch (c) {
      case '0': return true;  // ends the message, without a line break
      case 'n': *out += "\r\n"; break;
      case 'r': *out += '\r'; break;
      case 't': *out += '\t'; break;
      default: *out += c; break;  // "%%", "%.", "%!", "% "
    }
  }
  return true;
}

}  // namespace

DWORD FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
  if (dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  DWORD width = dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) {  // line wrapping
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || !lpBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwLanguageId != 0 && PRIMARYLANGID(dwLanguageId) != LANG_ENGLISH &&
      dwLanguageId != MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return 0;
  }
  // HRESULTs of the Win32 facility carry the error in their low word.
  DWORD id = (dwMessageId & 0xFFFF0000u) == 0x80070000u ? dwMessageId & 0xFFFFu : dwMessageId;
  const char* found = Lookup(id);
  if (!found) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  std::string text = std::string(found) + "\r\n";
  std::string result;
  if (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) {
    result = text;
  } else {
    // Read the arguments of inserts 1..max, each as the type its first use names.
    std::vector<std::string> formats;
    for (size_t i = 0; i < text.size(); ++i) {
      Insert ins;
      if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
        ++i;
      } else if (ParseInsert(text.c_str() + i, &ins)) {
        if (formats.size() < static_cast<size_t>(ins.number))
          formats.resize(static_cast<size_t>(ins.number));
        if (formats[static_cast<size_t>(ins.number) - 1].empty())
          formats[static_cast<size_t>(ins.number) - 1] = ins.format;
      }
    }
    std::vector<DWORD_PTR> args;
    if (!formats.empty()) {
      if (!Arguments) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      if (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) {
        const DWORD_PTR* array = reinterpret_cast<const DWORD_PTR*>(Arguments);
        args.assign(array, array + formats.size());
      } else {
        va_list copy;
        va_copy(copy, *Arguments);
        for (const std::string& f : formats)
          args.push_back(f.empty() || IsStringFormat(f)
                             ? reinterpret_cast<DWORD_PTR>(va_arg(copy, const char*))
                             : static_cast<DWORD_PTR>(va_arg(copy, unsigned)));
        va_end(copy);
      }
    }
    if (!Expand(text, args, &result)) return 0;
  }
  if (width == FORMAT_MESSAGE_MAX_WIDTH_MASK) {  // one line: breaks become spaces
    std::string flat;
    for (size_t i = 0; i < result.size(); ++i) {
      if (result[i] == '\r' && i + 1 < result.size() && result[i + 1] == '\n') {
        if (i + 2 < result.size()) flat += ' ';
        ++i;
      } else {
        flat += result[i];
      }
    }
    result = flat;
  }
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    SIZE_T size = result.size() + 1 > nSize ? result.size() + 1 : nSize;
    auto* block = static_cast<char*>(LocalAlloc(LMEM_FIXED, size));
    if (!block) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    memcpy(block, result.c_str(), result.size() + 1);
    *reinterpret_cast<LPSTR*>(lpBuffer) = block;
  } else {
    if (result.size() + 1 > nSize) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    memcpy(lpBuffer, result.c_str(), result.size() + 1);
  }
  return static_cast<DWORD>(result.size());
}
