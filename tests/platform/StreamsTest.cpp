// The in-memory streams and the copy between streams.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

using namespace platform;

namespace {

std::string ReadAll(Stream& s) {
    std::string out(static_cast<size_t>(s.Size()), '\0');
    s.SetPosition(0);
    s.ReadBuffer(out.data(), out.size());
    return out;
}

// The same behaviour is asked of every stream that keeps its bytes.
class ByteStreams : public ::testing::TestWithParam<std::function<std::unique_ptr<Stream>()>> {};

TEST_P(ByteStreams, WriteSeekReadAndResize) {
    auto s = GetParam()();
    s->WriteBuffer("hello world", 11);
    EXPECT_EQ(s->Position(), 11);
    EXPECT_EQ(s->Seek(-5, SeekOrigin::End), 6);
    char word[5];
    s->ReadBuffer(word, 5);
    EXPECT_EQ(std::string(word, 5), "world");
    EXPECT_EQ(s->Read(word, 5), 0u) << "reading at the end gives nothing";

    // Writing past the end fills the gap with zeros.
    s->Seek(3, SeekOrigin::End);
    s->WriteBuffer("!", 1);
    EXPECT_EQ(ReadAll(*s), std::string("hello world\0\0\0!", 15));

    // A cut clamps the position; growing adds zeros.
    s->SetSize(5);
    EXPECT_EQ(s->Position(), 5);
    s->SetSize(7);
    EXPECT_EQ(ReadAll(*s), std::string("hello\0\0", 7));
}

TEST_P(ByteStreams, RefusesPositionsBeforeTheStart) {
    auto s = GetParam()();
    s->WriteBuffer("abc", 3);
    EXPECT_THROW(s->Seek(-4, SeekOrigin::Current), StreamError);
    EXPECT_THROW(s->Seek(INT64_MAX, SeekOrigin::End), StreamError);
    EXPECT_THROW(s->SetSize(-1), StreamError);
    EXPECT_EQ(s->Position(), 3) << "a refused seek leaves the position alone";
}

TEST_P(ByteStreams, ReadBufferThrowsOnShortData) {
    auto s = GetParam()();
    s->WriteBuffer("abc", 3);
    s->SetPosition(1);
    char buffer[4];
    EXPECT_THROW(s->ReadBuffer(buffer, 4), StreamError);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ByteStreams,
    ::testing::Values([]() -> std::unique_ptr<Stream> { return std::make_unique<MemoryStream>(); },
                      []() -> std::unique_ptr<Stream> { return std::make_unique<StringStream>(); }));

TEST(StringStream, StartsWithItsStringAtPositionZero) {
    StringStream s("abc");
    char c;
    s.ReadBuffer(&c, 1);
    EXPECT_EQ(c, 'a');
    s.WriteBuffer("XY", 2);
    EXPECT_EQ(s.DataString(), "aXY");
}

TEST(NullStream, CountsWritesAndReadsNothing) {
    NullStream s;
    s.WriteBuffer("12345", 5);
    s.Seek(10, SeekOrigin::Begin);
    s.WriteBuffer("12", 2);
    EXPECT_EQ(s.Size(), 12);
    s.SetPosition(0);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0u);
    s.SetSize(4);
    EXPECT_EQ(s.Size(), 4);
    EXPECT_EQ(s.Seek(0, SeekOrigin::End), 4);
}

TEST(CopyFrom, CountZeroRewindsAndCopiesEverything) {
    std::string big(200000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
    StringStream source(big);
    source.Seek(0, SeekOrigin::End);
    MemoryStream target;
    EXPECT_EQ(target.CopyFrom(source, 0), static_cast<int64_t>(big.size()));
    EXPECT_EQ(ReadAll(target), big);
}

TEST(CopyFrom, CopiesCountBytesFromTheCurrentPosition) {
    StringStream source("0123456789");
    source.SetPosition(3);
    StringStream target;
    EXPECT_EQ(target.CopyFrom(source, 4), 4);
    EXPECT_EQ(target.DataString(), "3456");
    EXPECT_EQ(source.Position(), 7);
}

TEST(CopyFrom, ThrowsWhenTheSourceRunsShortOrCountIsNegative) {
    StringStream source("0123");
    StringStream target;
    EXPECT_THROW(target.CopyFrom(source, 5), StreamError);
    EXPECT_THROW(target.CopyFrom(source, -1), StreamError);
}

TEST(Exception, MessageIsKeptInBothForms) {
    const FileError e(u"Cannot open file \"\u00e9\"", 2);
    EXPECT_EQ(e.Message(), u"Cannot open file \"\u00e9\"");
    EXPECT_STREQ(e.what(), "Cannot open file \"\xc3\xa9\"");
    EXPECT_EQ(e.SystemError(), 2);
}

}  // namespace
