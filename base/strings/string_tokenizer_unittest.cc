#include "base/strings/string_tokenizer.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

// Every token, delimiters marked with a leading '|'.
std::vector<std::string> Tokens(StringTokenizer* t) {
  std::vector<std::string> tokens;
  while (t->GetNext())
    tokens.push_back((t->token_is_delim() ? "|" : "") + t->token());
  return tokens;
}

using Strings = std::vector<std::string>;

TEST(StringTokenizerTest, SkipsDelimiters) {
  const std::string text = "a,,b";
  StringTokenizer t(text, ",");
  EXPECT_EQ((Strings{"a", "b"}), Tokens(&t));
  EXPECT_FALSE(t.GetNext());

  const std::string spaced = "  one two\tthree  ";
  StringTokenizer u(spaced, " \t");
  EXPECT_EQ((Strings{"one", "two", "three"}), Tokens(&u));

  const std::string only_delims = ",,,";
  StringTokenizer v(only_delims, ",");
  EXPECT_FALSE(v.GetNext());
  const std::string empty;
  StringTokenizer w(empty, ",");
  EXPECT_FALSE(w.GetNext());
}

TEST(StringTokenizerTest, ReturnsDelimiters) {
  const std::string text = "a,,b";
  StringTokenizer t(text, ",");
  t.set_options(StringTokenizer::RETURN_DELIMS);
  EXPECT_EQ((Strings{"a", "|,", "|,", "b"}), Tokens(&t));
}

TEST(StringTokenizerTest, Quotes) {
  const std::string text = "a,\"b,c\",d";
  StringTokenizer t(text, ",");
  t.set_quote_chars("\"");
  EXPECT_EQ((Strings{"a", "\"b,c\"", "d"}), Tokens(&t));

  // An escaped quote does not close; the escape stays in the token.
  const std::string escaped = "\"x\\\",y\",z";
  StringTokenizer e(escaped, ",");
  e.set_quote_chars("\"");
  EXPECT_EQ((Strings{"\"x\\\",y\"", "z"}), Tokens(&e));

  // A quote inside a token opens there; an unclosed one runs to the end.
  const std::string inner = "k='a,b',m='c,d";
  StringTokenizer i(inner, ",");
  i.set_quote_chars("'\"");
  EXPECT_EQ((Strings{"k='a,b'", "m='c,d"}), Tokens(&i));

  // Outside quotes a backslash is ordinary.
  const std::string plain = "a\\,b";
  StringTokenizer p(plain, ",");
  p.set_quote_chars("\"");
  EXPECT_EQ((Strings{"a\\", "b"}), Tokens(&p));
}

TEST(StringTokenizerTest, ResetWalksAgain) {
  const std::string text = "x y";
  StringTokenizer t(text, " ");
  EXPECT_EQ((Strings{"x", "y"}), Tokens(&t));
  t.Reset();
  ASSERT_TRUE(t.GetNext());
  EXPECT_EQ("x", t.token_piece());
  EXPECT_EQ(text.data(), t.token_begin());
  EXPECT_EQ(text.data() + 1, t.token_end());
}

}  // namespace
}  // namespace base
