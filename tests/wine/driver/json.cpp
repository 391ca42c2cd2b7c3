#include "json.h"

#include <windows.h>

#include <cstdio>

namespace qmdriver {

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string JsonText(std::wstring_view value) {
  std::string out = "\"";
  for (char c : ToUtf8(value)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
  if (!body_.empty()) body_ += ",";
  body_ += "\"";
  body_ += key;
  body_ += "\":";
  body_ += json;
  return *this;
}

JsonObject& JsonObject::Text(std::string_view key, std::wstring_view value) {
  return Raw(key, JsonText(value));
}

JsonObject& JsonObject::Int(std::string_view key, long long value) {
  return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Bool(std::string_view key, bool value) {
  return Raw(key, value ? "true" : "false");
}

JsonArray& JsonArray::Raw(std::string_view json) {
  if (!body_.empty()) body_ += ",";
  body_ += json;
  return *this;
}

JsonArray& JsonArray::Text(std::wstring_view value) { return Raw(JsonText(value)); }

JsonArray& JsonArray::Int(long long value) { return Raw(std::to_string(value)); }

}  // namespace qmdriver
