// The bridge protocol's platform-free parts: JSON, base64, frames, chunks and
// the reading of requests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bridge/host/base64.h"
#include "bridge/host/chunking.h"
#include "bridge/host/framing.h"
#include "bridge/host/json.h"
#include "bridge/host/protocol.h"

using namespace bridge;

namespace {

std::string RoundTrip(const std::string& text) {
  Json value;
  std::string error;
  if (!ParseJson(text, &value, &error)) return "error: " + error;
  return ToJsonText(value);
}

TEST(BridgeJson, WritesWhatItReads) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {" {\"a\" : [1, -0, 2.50, 1e3, true, false, null]} ", "{\"a\":[1,-0,2.50,1e3,true,false,null]}"},
      {"\"\\u00e9\\ud83d\\ude00\"", "\"\xC3\xA9\xF0\x9F\x98\x80\""},    // escapes to UTF-8
      {"\"\xC3\xA9\"", "\"\xC3\xA9\""},                                   // UTF-8 kept
      {"\"\\ud800x\\udc00\"", "\"\\ud800x\\udc00\""},                     // lone surrogates stay escaped
      {"\"\\/\\b\\f\\n\\r\\t\\u0001\\u001a\\u007f\"", "\"/\\b\\f\\n\\r\\t\\u0001\\u001a\\u007f\""},
      {"[]", "[]"},
      {"{}", "{}"},
  };
  for (const auto& c : cases) EXPECT_EQ(RoundTrip(c.in), c.out) << c.in;
}

TEST(BridgeJson, RefusesWhatIsNotJson) {
  const std::string cases[] = {
      "",           "   ",          "nul",        "[1,]",         "{\"a\":1,}",   "{a:1}",     "'a'",
      "01",         "1.",           ".5",         "-",            "1e",           "+1",        "\"a",
      "\"\\x\"",    "\"\\u12\"",    "[1] 2",      "\"a\nb\"",     "\"\x1a\"",     "\xEF\xBB\xBF{}",
      "\"\xC0\xAF\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xE2\x82\"", "NaN",    "Infinity",
      std::string(65, '[') + std::string(65, ']'),
      std::string("\"a\0b\"", 5),
  };
  for (const auto& text : cases) {
    SCOPED_TRACE(testing::Message() << text);
    Json value;
    std::string error;
    EXPECT_FALSE(ParseJson(text, &value, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
  Json deep;
  std::string error;
  EXPECT_TRUE(ParseJson(std::string(64, '[') + std::string(64, ']'), &deep, &error)) << error;
}

TEST(BridgeJson, WritesNumbersMadeHere) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{0, "0"}, {-0.0, "0"}, {34, "34"}, {-2147483648.0, "-2147483648"}, {0.5, "0.5"},
               {1e300, "1.0000000000000001e+300"}, {1.0 / 0.0, "null"}};
  for (const auto& c : cases) EXPECT_EQ(ToJsonText(Json::Number(c.value)), c.text);
}

TEST(BridgeBase64, KnownValuesAndRefusals) {
  const struct {
    const char* bytes;
    const char* text;
  } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"\x01\x02\x03", "AQID"},
               {"\xFB\xFF", "+/8="}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text);
    EXPECT_EQ(EncodeBase64(reinterpret_cast<const uint8_t*>(c.bytes), strlen(c.bytes)), c.text);
    std::vector<uint8_t> out;
    std::string text = c.text;
    ASSERT_TRUE(DecodeBase64(std::u16string(text.begin(), text.end()), &out)) << c.text;
    EXPECT_EQ(std::string(out.begin(), out.end()), c.bytes);
  }
  for (const char16_t* bad : {u"Zg", u"Zg=", u"Z===", u"Zh==", u"Zm9=", u"Zg==Zg==", u"Zm 9", u"Zm9\u0100",
                              u"=Zm9", u"Zm\n9v"}) {
    std::vector<uint8_t> out;
    EXPECT_FALSE(DecodeBase64(bad, &out));
  }
}

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string data) : m_data(std::move(data)) {}
  size_t Read(uint8_t* buffer, size_t size) override {
    size_t n = std::min<size_t>({size, m_data.size() - m_at, 3});  // short reads, as pipes give them
    memcpy(buffer, m_data.data() + m_at, n);
    m_at += n;
    return n;
  }

 private:
  std::string m_data;
  size_t m_at = 0;
};

TEST(BridgeFraming, ReadsFramesAndTellsHowTheStreamEnds) {
  std::string two = EncodeFrame("{\"a\":1}") + EncodeFrame(std::string("\x1a\r\n\0", 4));
  EXPECT_EQ(two.substr(0, 4), std::string("\x07\0\0\0", 4));
  const struct {
    std::string stream;
    std::vector<FrameStatus> statuses;
  } cases[] = {
      {"", {FrameStatus::kEnd}},
      {two, {FrameStatus::kFrame, FrameStatus::kFrame, FrameStatus::kEnd}},
      {EncodeFrame(""), {FrameStatus::kFrame, FrameStatus::kEnd}},
      {std::string("\x05\0", 2), {FrameStatus::kTruncated}},
      {std::string("\x05\0\0\0abc", 7), {FrameStatus::kTruncated}},
      {std::string("\x01\0\0\x04", 4), {FrameStatus::kTooLarge}},
      {std::string("\0\0\0\x04", 4) + std::string(1, 'x'), {FrameStatus::kTruncated}},  // exactly 64 MiB allowed
      {std::string("\xff\xff\xff\xff", 4), {FrameStatus::kTooLarge}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "stream of " << c.stream.size() << " bytes");
    MemorySource source(c.stream);
    std::vector<FrameStatus> got;
    std::string payload;
    uint32_t announced;
    for (;;) {
      got.push_back(ReadFrame(source, &payload, &announced));
      if (got.back() != FrameStatus::kFrame) break;
    }
    EXPECT_EQ(got, c.statuses);
  }
  MemorySource source(two);
  std::string payload;
  uint32_t announced;
  ReadFrame(source, &payload, &announced);
  ReadFrame(source, &payload, &announced);
  EXPECT_EQ(payload, std::string("\x1a\r\n\0", 4));
}

TEST(BridgeChunking, SmallAnswersWholeLargeOnesInChunksThatJoin) {
  EXPECT_EQ(SplitAnswer("1", "{\"id\":1}"), std::vector<std::string>{"{\"id\":1}"});
  // Quotes and backslashes double when escaped; multi-byte characters are
  // never cut.
  Json result = Json::Array();
  for (int i = 0; i < 3000; ++i) result.items.push_back(Json::String(u"\"\\\u00e9\U0001F600x"));
  std::string answer = ResultAnswer("\"id\"", result);
  for (size_t limit : {200u, 1000u, 4096u}) {
    std::vector<std::string> parts = SplitAnswer("\"id\"", answer, limit);
    ASSERT_GT(parts.size(), 1u);
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) {
      EXPECT_LT(parts[i].size(), limit);
      Json chunk;
      std::string error;
      ASSERT_TRUE(ParseJson(parts[i], &chunk, &error)) << error;
      EXPECT_EQ(chunk.Find(u"id")->text, u"id");
      EXPECT_EQ(chunk.Find(u"chunk")->number, static_cast<double>(i));
      EXPECT_EQ(chunk.Find(u"chunks")->number, static_cast<double>(parts.size()));
      joined += Utf16ToUtf8Lossy(chunk.Find(u"data")->text);
    }
    EXPECT_EQ(joined, answer);
  }
  // A limit that leaves no room for data gives nothing rather than
  // oversized messages.
  EXPECT_TRUE(SplitAnswer("1", std::string(100, 'x'), 60).empty());
}

TEST(BridgeProtocol, ReadsRequests) {
  Request r;
  RequestError e;
  ASSERT_TRUE(ParseRequest("{\"id\":\"a\",\"origin\":\"https://x.example\",\"method\":\"RawSign\",\"args\":[1,\"t\"]}",
                           &r, &e));
  EXPECT_EQ(r.idJson, "\"a\"");
  EXPECT_EQ(r.origin, u"https://x.example");
  EXPECT_EQ(r.method, u"RawSign");
  EXPECT_EQ(r.args.size(), 2u);
  ASSERT_TRUE(ParseRequest("{\"id\":3,\"origin\":\"https://x.example\",\"method\":\"AboutBox\"}", &r, &e));
  EXPECT_TRUE(r.args.empty());

  const struct {
    const char* message;
    const char* id;
  } refused[] = {
      {"[]", "null"},
      {"{\"origin\":\"o\",\"method\":\"m\"}", "null"},
      {"{\"id\":null,\"origin\":\"o\",\"method\":\"m\"}", "null"},
      {"{\"id\":1,\"id\":2,\"origin\":\"o\",\"method\":\"m\"}", "null"},
      {"{\"id\":1,\"method\":\"m\"}", "1"},
      {"{\"id\":1,\"origin\":\"https://a b\",\"method\":\"m\"}", "1"},
      {"{\"id\":1,\"origin\":\"https://a\\u0000b\",\"method\":\"m\"}", "1"},
      {"{\"id\":1,\"origin\":\"o\",\"origin\":\"p\",\"method\":\"m\"}", "1"},
      {"{\"id\":1,\"origin\":\"o\"}", "1"},
      {"{\"id\":1,\"origin\":\"o\",\"method\":\"\"}", "1"},
      {"{\"id\":1,\"origin\":\"o\",\"method\":\"m\",\"args\":{}}", "1"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(testing::Message() << c.message);
    EXPECT_FALSE(ParseRequest(c.message, &r, &e)) << c.message;
    EXPECT_EQ(r.idJson, c.id) << c.message;
    EXPECT_EQ(e.hresult, kHresultInvalidData);
  }
}

// A member named twice could be read one way here and another way by
// whoever wrote or checked the message: every member the host acts on is
// refused when it comes twice, whichever copy would be the one used.
TEST(BridgeProtocol, RefusesAMemberNamedTwice) {
  const struct {
    const char* member;
    const char* message;
  } twice[] = {
      {"origin", "{\"id\":1,\"origin\":\"o\",\"origin\":\"p\",\"method\":\"m\",\"args\":[]}"},
      {"method", "{\"id\":1,\"origin\":\"o\",\"method\":\"CertEnum\",\"method\":\"SignRaw\",\"args\":[]}"},
      {"method", "{\"id\":1,\"method\":\"SignRaw\",\"origin\":\"o\",\"args\":[],\"method\":\"CertEnum\"}"},
      {"method", "{\"id\":1,\"origin\":\"o\",\"method\":\"m\",\"method\":\"m\",\"args\":[]}"},
      {"args", "{\"id\":1,\"origin\":\"o\",\"method\":\"m\",\"args\":[1],\"args\":[2]}"},
      {"args", "{\"id\":1,\"origin\":\"o\",\"method\":\"m\",\"args\":[],\"args\":[]}"},
      {"args", "{\"id\":1,\"args\":[\"a\"],\"origin\":\"o\",\"method\":\"m\",\"args\":{}}"},
  };
  for (const auto& c : twice) {
    SCOPED_TRACE(testing::Message() << c.message);
    Request r;
    RequestError e;
    EXPECT_FALSE(ParseRequest(c.message, &r, &e)) << "a request naming \"" << c.member << "\" twice was accepted";
    EXPECT_EQ(r.idJson, "1") << "the refusal names the request's id";
    EXPECT_EQ(e.hresult, kHresultInvalidData);
    EXPECT_NE(e.message.find("twice"), std::string::npos) << "refused for another reason: " << e.message;
  }
}

TEST(BridgeProtocol, ArgumentsAndAnswers) {
  const struct {
    const char* json;
    ArgValue::Kind kind;
  } accepted[] = {
      {"null", ArgValue::Kind::kNull},          {"true", ArgValue::Kind::kBool},
      {"-2147483648", ArgValue::Kind::kInt32},  {"2147483648", ArgValue::Kind::kDouble},
      {"1.5", ArgValue::Kind::kDouble},         {"3.0", ArgValue::Kind::kInt32},
      {"\"t\"", ArgValue::Kind::kText},         {"{\"bytes\":\"AQID\"}", ArgValue::Kind::kBytes},
  };
  for (const auto& c : accepted) {
    SCOPED_TRACE(testing::Message() << c.json);
    Json value;
    std::string error;
    ASSERT_TRUE(ParseJson(c.json, &value, &error));
    ArgValue arg;
    std::string why;
    EXPECT_TRUE(ToArgValue(value, &arg, &why)) << c.json;
    EXPECT_EQ(arg.kind, c.kind) << c.json;
  }
  for (const char* bad : {"[1]", "{}", "{\"bytes\":1}", "{\"bytes\":\"AQ\"}", "{\"bytes\":\"AQID\",\"x\":1}", "1e400"}) {
    Json value;
    std::string error;
    ASSERT_TRUE(ParseJson(bad, &value, &error)) << bad;
    ArgValue arg;
    std::string why;
    EXPECT_FALSE(ToArgValue(value, &arg, &why)) << bad;
    EXPECT_FALSE(why.empty());
  }
  EXPECT_EQ(ErrorAnswer("7", 0x80020006, "Unknown \"name\"."),
            "{\"id\":7,\"error\":{\"hresult\":\"0x80020006\",\"message\":\"Unknown \\\"name\\\".\"}}");
  EXPECT_EQ(ResultAnswer("\"x\"", BytesValue(reinterpret_cast<const uint8_t*>("\1\2\3"), 3)),
            "{\"id\":\"x\",\"result\":{\"bytes\":\"AQID\"}}");
  EXPECT_EQ(HresultText(0x8002000E), "0x8002000E");
}

}  // namespace
