// Just enough JSON to answer on one line: objects, arrays, numbers, booleans
// and UTF-8 strings converted from UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace qmdriver {

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

// Builds one JSON object; values given as already-encoded JSON are kept.
class JsonObject {
 public:
  JsonObject& Raw(std::string_view key, std::string_view json);
  JsonObject& Text(std::string_view key, std::wstring_view value);
  JsonObject& Int(std::string_view key, long long value);
  JsonObject& Bool(std::string_view key, bool value);
  std::string Str() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

class JsonArray {
 public:
  JsonArray& Raw(std::string_view json);
  JsonArray& Text(std::wstring_view value);
  JsonArray& Int(long long value);
  std::string Str() const { return "[" + body_ + "]"; }

 private:
  std::string body_;
};

std::string JsonText(std::wstring_view value);

}  // namespace qmdriver
