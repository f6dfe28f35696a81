// Query-string lookup with URL decoding.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

/// Value of one hexadecimal digit: 0-9 for '0'-'9', 10-15 for 'a'-'f' and
/// 'A'-'F', -1 for anything else (bytes from 128 up included).
int hex_val(int c);

/// Finds the first "name=value" segment of `query` (segments are split at '&'
/// only; names are compared undecoded) and stores its value, decoded ("%XX"
/// escapes and '+' for space), in `out`. The raw value is cut to 1023 bytes
/// before decoding and the decoded value to `capacity` - 1 bytes; a decoded
/// NUL ends the value. Returns true when the parameter was found (an empty
/// value included). On false `out` is empty. An empty query or name finds
/// nothing.
bool get_query_val(std::string_view query, std::string_view name, std::size_t capacity,
                   std::string* out);

/// The limits of the request's parameters that a caller can see: a longer
/// decoded value is cut to this many bytes. (Every other parameter is only
/// compared or checked, and no value long enough to be cut would pass.)
inline constexpr std::size_t kUrlLimit = 511;  ///< echoed in answers and fetched
inline constexpr std::size_t kPwdLimit = 127;  ///< compared with the password

/// The parameters of one request, each looked up once with get_query_val
/// (first occurrence wins, decoded, raw value cut to 1023 bytes): empty when
/// missing.
struct Query {
  std::string action;    ///< what is asked (sessions, slots, models, ...)
  std::string format;    ///< "json" asks for the slots call without an action
  std::string id;        ///< a session's name
  std::string url;       ///< a llama.cpp server's address, cut to kUrlLimit
  std::string server;    ///< the name of a server the host configured
  std::string metrics;   ///< "1": the props call reads /metrics too
  std::string models;    ///< the router call's model ids, each percent-encoded and ended by ','
  std::string quiet;     ///< the router call's models whose /metrics to read, the same way
  std::string pwd;       ///< the password route of the access check, cut to kPwdLimit
  bool has_pwd = false;  ///< `pwd` was present (an empty value included)
};

/// Reads every parameter of Query from `query` (the undecoded query string).
Query read_query(std::string_view query);

}  // namespace text
