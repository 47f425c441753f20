#include "channel/remote.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ScriptLine, KindByFirstCharacter) {
  EXPECT_EQ(scriptLineKind("#BRIGHT 10\r\n"), SCRIPT_COMMAND);
  EXPECT_EQ(scriptLineKind("&500\n"), SCRIPT_PAUSE);
  EXPECT_EQ(scriptLineKind("@Hello\n"), SCRIPT_MESSAGE);
  EXPECT_EQ(scriptLineKind("$\n"), SCRIPT_KEY_WAIT);
  for (const char *line : {" #BRIGHT 10\n", "\n", "", "; comment\n", "\t@x"})
    EXPECT_EQ(scriptLineKind(line), SCRIPT_IGNORED) << line;
}

TEST(ScriptLine, CommandEndsAtItsFirstLineEnd) {
  EXPECT_EQ(scriptCommandLength("#BRIGHT 10\r\n"), 10u);
  EXPECT_EQ(scriptCommandLength("#BRIGHT 10\n"), 10u);
  EXPECT_EQ(scriptCommandLength("#BRIGHT 10"), 10u);
  EXPECT_EQ(scriptCommandLength("#A\rB\n"), 2u);
  EXPECT_EQ(scriptCommandLength("#\n"), 1u);
}

TEST(ScriptLine, PauseKeepsThePreviousValueWithoutANumber) {
  EXPECT_EQ(scriptPause("&250\n", 0), 250u);
  EXPECT_EQ(scriptPause("&  40 ms\n", 250), 40u);
  EXPECT_EQ(scriptPause("&\n", 250), 250u);
  EXPECT_EQ(scriptPause("&abc\n", 0), 0u);
  // A negative pause is no pause rather than a wait of weeks.
  EXPECT_EQ(scriptPause("&-5\n", 250), 0u);
}

// Feeds an answer; returns "ack", "nack" or "pending" and leaves the tally.
std::string answer(AnswerTally *t, const std::string &bytes) {
  answerTallyNextAnswer(t);
  for (char c : bytes) {
    AnswerProgress p = answerTallyFeed(t, static_cast<BYTE>(c));
    if (p == ANSWER_ACK)
      return "ack";
    if (p == ANSWER_NACK)
      return "nack";
  }
  return "pending";
}

TEST(AnswerTally, SortsByTheLetterAfterTheHash) {
  AnswerTally t;
  answerTallyStart(&t);
  EXPECT_EQ(answer(&t, "#ACK\r"), "ack");
  EXPECT_EQ(answer(&t, "#NACK\r"), "nack");
  EXPECT_EQ(answer(&t, "noise #ACK"), "ack");
  EXPECT_EQ(t.function, 3);
  EXPECT_EQ(t.ack, 2);
  EXPECT_EQ(t.nack, 1);
}

TEST(AnswerTally, AReportLineBeforeTheAcknowledgementCountsTwice) {
  AnswerTally t;
  answerTallyStart(&t);
  EXPECT_EQ(answer(&t, "#BRIGHT=10\r#ACK\r"), "ack");
  EXPECT_EQ(t.function, 2);
  EXPECT_EQ(t.ack, 1);
}

TEST(AnswerTally, TheByteAfterAHashIsNeverAHashItself) {
  AnswerTally t;
  answerTallyStart(&t);
  // "##A": the second "#" is discarded as the first one's letter.
  EXPECT_EQ(answer(&t, "##A"), "pending");
  EXPECT_EQ(t.function, 1);
  EXPECT_EQ(answer(&t, "##A#A"), "ack");
  EXPECT_EQ(t.function, 3);
}

TEST(AnswerTally, EachAnswerStartsAfresh) {
  AnswerTally t;
  answerTallyStart(&t);
  EXPECT_EQ(answer(&t, "#"), "pending");
  // A letter at the start of the next answer belongs to no "#".
  EXPECT_EQ(answer(&t, "A#N"), "nack");
  EXPECT_EQ(t.function, 2);
  EXPECT_EQ(t.ack, 0);
}

} // namespace
