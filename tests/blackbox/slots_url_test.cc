// The slots call for a server address, with a stand-in curl that answers
// what each case needs: exit codes, odd bytes, and what reaches its argv.
#include <gtest/gtest.h>

#include <utility>

#include "harness.h"
#include "stand_in_curl.h"

namespace {

using namespace testing_support;

constexpr std::string_view kPickOne = "select a session or enter a llama.cpp URL";
constexpr std::string_view kInvalidUrl = "invalid url (must be http:// or https://)";
constexpr std::string_view kUnable = "unable to fetch /slots from llama.cpp server";
constexpr std::string_view kNonJson = "unexpected non-JSON response from /slots";

// The normalisation itself is a unit table beside slots_endpoint; here one
// address of each kind goes through the whole program to curl's command line.
TEST_F(StandInCurl, NormalisesTheAddress) {
  const struct {
    std::string url;
    std::string normalised;
  } cases[] = {
      {"http://srv:80/v1/", "http://srv:80/slots"},
      {"http://srv:80/v1/?model=a#f", "http://srv:80/slots?model=a&autoload=false#f"},
  };
  for (const auto& c : cases) {
    // Percent-encoded whole, so the address arrives exactly as written.
    const RunResult result = call("action=slots&url=" + percent_encode(c.url), "", 7);
    EXPECT_EQ(result.out, error_response("502 Bad Gateway", kUnable, c.normalised)) << c.url;
    EXPECT_EQ(argv(), "-sk\n--max-time\n4\n" + c.normalised + "\n") << c.url;
    EXPECT_EQ(result.exit_code, 0);
  }
}

TEST_F(StandInCurl, RefusesWhatIsNotAnAddress) {
  const struct {
    std::string query;
    std::string received;
  } cases[] = {
      {"url=HTTP://h", "HTTP://h"},
      {"url=Https://h", "Https://h"},
      {"url=ftp://h", "ftp://h"},
      {"url=h:8080", "h:8080"},
      {"url=http://h/a+b", "http://h/a b"},
      {"url=http://h/%22x%22", "http://h/\"x\""},
      {"url=http://h/$(id)", "http://h/$(id)"},
      {"url=http://h/%60id%60", "http://h/`id`"},
      {"url=http://h/;id", "http://h/;id"},
      {"url=http://h/%7Cid", "http://h/|id"},
      {"url=http://h/%26%26id%3E%2Ftmp%2Fx", "http://h/&&id>/tmp/x"},
      {"url=http://h/%0Aid", "http://h/\nid"},
      {"url=http://h/%27", "http://h/'"},
      {"url=http://h/%5C", "http://h/\\"},
      {"url=http://h/%C3%A9", "http://h/\xc3\xa9"},
      // The address decides even when an id is there too.
      {"id=web&url=bad", "bad"},
      {"url=bad&id=web", "bad"},
  };
  for (const auto& c : cases) {
    const RunResult result = call("action=slots&" + c.query);
    EXPECT_EQ(result.out, error_response("400 Bad Request", kInvalidUrl, c.received)) << c.query;
    EXPECT_EQ(argv(), "") << "curl must not run for " << c.query;
  }
}

TEST_F(StandInCurl, AsksForAChoiceWithoutAddressOrSafeId) {
  for (const char* query :
       {"action=slots", "format=json", "action=slots&url=", "action=slots&id=",
        "action=slots&id=a+b", "action=slots&id=a..b", "action=slots&id=..%2Fetc",
        "action=slots&id=a%2Fb", "action=slots&id=a%5Cb", "action=slots&id=%C3%A9"}) {
    EXPECT_EQ(call(query).out, error_response("400 Bad Request", kPickOne)) << query;
  }
  EXPECT_EQ(call("action=slots&id=" + std::string(161, 'x')).out,
            error_response("400 Bad Request", kPickOne));
}

TEST_F(StandInCurl, PassesShellCharactersAsOneLiteralArgument) {
  const std::pair<std::string, std::string> cases[] = {
      {"http://evil.example/%PATH%", "http://evil.example/%PATH%/slots"},
      {"http://evil.example/%BOT_PASSWORD%/slots", "http://evil.example/%BOT_PASSWORD%/slots"},
      {"http://h/a?b=1&c=%HOME%#x,y@z+w~", "http://h/a/slots?b=1&c=%HOME%#x,y@z+w~"},
  };
  for (const auto& [url, normalised] : cases) {
    std::string encoded;
    for (char c : url)
      encoded += c == '%'   ? "%25"
                 : c == '&' ? "%26"
                 : c == '#' ? "%23"
                 : c == '+' ? "%2B"
                            : std::string(1, c);
    const RunResult result =
        call("action=slots&url=" + encoded, "[]", 0, {{"BOT_PASSWORD", ""}, {"PATH_X", "no"}});
    EXPECT_EQ(argv(), "-sk\n--max-time\n4\n" + normalised + "\n") << url;
    EXPECT_EQ(mask_epoch(result.out),
              std::string(kJsonHeader) + "{\"ok\":true,\"source\":\"query\",\"url\":" +
                  json_string(normalised) + ",\"updated_epoch\":EPOCH,\"slots\":[]}\n");
  }
}

TEST_F(StandInCurl, GivesAServersKeyOnlyOnStandardInput) {
  const std::string keys =
      " http://other:8080=wrong\n\tHTTP://H:80=k3y=with=equals http://h=second ";
  const struct {
    std::string url;
    std::string keys;
    std::string key;
    int exit_code;
  } cases[] = {
      {"http://h/v1", keys, "k3y=with=equals", 0},
      {"http://u:p@h:80/", keys, "k3y=with=equals", 22},
      {"http://other:8080?model=a", keys, "wrong", 0},
      {"https://h", keys, "", 0},
      {"http://h:8080", keys, "", 0},
      {"http://h.evil", keys, "", 0},
      {"http://h", "", "", 0},
      {"http://h", "http://h/=path http://h= =k", "", 0},
  };
  for (const auto& c : cases) {
    const RunResult result =
        call("action=slots&url=" + c.url, "[]", c.exit_code, {{"QV_LLAMA_API_KEYS", c.keys}});
    std::string endpoint = c.url;
    while (endpoint.back() == '/') endpoint.pop_back();
    if (endpoint.ends_with("/v1")) endpoint.resize(endpoint.size() - 3);
    endpoint = endpoint.find('?') != std::string::npos
                   ? endpoint.replace(endpoint.find('?'), 1, "/slots?") + "&autoload=false"
                   : endpoint + "/slots";
    const std::string options =
        c.key.empty() ? "-sk\n--max-time\n4\n" : "-sk\n--max-time\n4\n-H\n@-\n";
    EXPECT_EQ(argv(), options + endpoint + "\n") << c.url;
    EXPECT_EQ(input(), c.key.empty() ? "" : "Authorization: Bearer " + c.key + "\n") << c.url;
    const std::string expected =
        c.exit_code != 0 ? error_response("502 Bad Gateway", kUnable, endpoint)
                         : std::string(kJsonHeader) + "{\"ok\":true,\"source\":\"query\",\"url\":" +
                               json_string(endpoint) + ",\"updated_epoch\":EPOCH,\"slots\":[]}\n";
    EXPECT_EQ(mask_epoch(result.out), expected) << c.url;
  }
}

TEST_F(StandInCurl, ClassifiesWhatCurlPrinted) {
  const std::string url = "http://h:1";
  const std::string endpoint = url + "/slots";
  const std::string wrapped_head = std::string(kJsonHeader) +
                                   "{\"ok\":true,\"source\":\"query\",\"url\":\"" + endpoint +
                                   "\",\"updated_epoch\":EPOCH,\"slots\":";
  const struct {
    const char* what;
    std::string body;
    int exit_code;
    std::string expected;
  } cases[] = {
      {"nothing", "", 0, error_response("502 Bad Gateway", kUnable, endpoint)},
      {"white space", " \t\r\n\n", 0, error_response("502 Bad Gateway", kUnable, endpoint)},
      {"one byte", "[", 0, error_response("502 Bad Gateway", kUnable, endpoint)},
      {"one byte and newline", "{\n", 0, error_response("502 Bad Gateway", kUnable, endpoint)},
      {"good array, failed exit", "[{\"id\":0}]", 28,
       error_response("502 Bad Gateway", kUnable, endpoint)},
      {"html", "<html>oops</html>", 0, error_response("502 Bad Gateway", kNonJson, endpoint)},
      {"leading newline", "\n[]", 0, error_response("502 Bad Gateway", kNonJson, endpoint)},
      {"byte-order mark", "\xef\xbb\xbf[]", 0,
       error_response("502 Bad Gateway", kNonJson, endpoint)},
      {"vertical tab kept", "x\v", 0, error_response("502 Bad Gateway", kNonJson, endpoint)},
      {"array with inner space", "[ ]\n", 0, wrapped_head + "[ ]}\n"},
      {"array, not JSON after", "[not json", 0, wrapped_head + "[not json}\n"},
      {"array ends at NUL", std::string("[1,\0 2]", 7), 0, wrapped_head + "[1,}\n"},
      {"object passed through", "{\"error\":\"x\"}\r\n", 0,
       std::string(kJsonHeader) + "{\"error\":\"x\"}\n"},
      {"object keeps NUL bytes", std::string("{\"a\":\"\0\"}", 9), 0,
       std::string(kJsonHeader) + std::string("{\"a\":\"\0\"}", 9) + "\n"},
      {"object keeps form feed", "{}\f \n", 0, std::string(kJsonHeader) + "{}\f\n"},
  };
  for (const auto& c : cases) {
    const RunResult result = call("action=slots&url=" + url, c.body, c.exit_code);
    EXPECT_EQ(mask_epoch(result.out), c.expected) << c.what;
    EXPECT_EQ(result.exit_code, 0) << c.what;
  }
}

TEST_F(StandInCurl, WrappedAnswerCarriesTheTimeOfTheFetch) {
  const long long before = static_cast<long long>(std::time(nullptr));
  long long epoch = 0;
  mask_epoch(call("format=json&url=http://h", "[1]").out, &epoch);
  const long long after = static_cast<long long>(std::time(nullptr));
  EXPECT_GE(epoch, before);
  EXPECT_LE(epoch, after);
}

TEST_F(StandInCurl, LongOutputIsCutAtTheCeilingAndNeverHangs) {
  // 9 MiB of an object: the capture keeps 8 MiB less one byte, stops reading,
  // and the still-writing child ends on the closed pipe.
  const std::string chunk = "{" + std::string(1024 * 1024 - 1, ' ');
  const RunResult result = call("action=slots&url=http://h", chunk, 0, {{"STAND_IN_REPEAT", "9"}});
  const std::string endpoint = "http://h/slots";
  EXPECT_EQ(result.out, error_response("502 Bad Gateway", kUnable, endpoint));
  EXPECT_EQ(result.exit_code, 0);

  // Exactly the ceiling less one byte is passed through whole.
  const std::string whole = "{" + std::string((8u << 20) - 3, 'x') + "}";
  const RunResult full = call("action=slots&url=http://h", whole);
  EXPECT_EQ(full.out, std::string(kJsonHeader) + whole + "\n");
}

TEST(CurlMissing, CannotBeStarted) {
  TempDir dir;
  fs::create_directories(dir.path() / "empty");
  const Env env = {{"PATH", dir.str("empty")}, {"QUERY_STRING", "action=slots&url=http://h/v1"}};
  EXPECT_EQ(run_slots(env).out,
            error_response("502 Bad Gateway", "failed to invoke curl", "http://h/slots"));
  const Env no_path = {{"QUERY_STRING", "action=slots&url=http://h/v1"}};
  const RunResult result = run_slots(no_path);
  // Without PATH the system's default search path applies, which may hold a
  // real curl; either way nothing but one complete answer comes back.
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out.rfind("Status: 502 Bad Gateway\r\n", 0), 0u);
}

}  // namespace
