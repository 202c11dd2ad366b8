#include "support/filestream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using ald::InFileStream;
using ald::OutFileStream;

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/filestream_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const std::string& f : files_) std::remove(f.c_str());
    rmdir(dir_.c_str());
  }
  std::string Path(const char* name) {
    files_.push_back(dir_ + "/" + name);
    return files_.back();
  }
  std::string Write(const char* name, const std::string& content) {
    std::string path = Path(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    return path;
  }
  static std::string Read(const std::string& path) {
    std::string content;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    for (int c; (c = std::fgetc(f)) != EOF;) content += static_cast<char>(c);
    std::fclose(f);
    return content;
  }

  std::string dir_;
  std::vector<std::string> files_;
};

// The way device records are read back: number, key and "=" as words, one
// character skipped, then a number or the rest of the line.
TEST_F(FileStreamTest, WrittenRecordReadsBack) {
  const std::string path = Path("devices.dat");
  OutFileStream out;
  ASSERT_EQ(out.open(path.c_str()), 0);
  out << "1  devtype = " << 17 << '\n';
  out << "14 mechtilt = " << -35 << '\n';
  out << "13 bearing = " << 65535 << '\n';
  out << "6  vendorid = "
      << "KA" << '\n';
  out << "8  sn = " << '\n';
  EXPECT_TRUE(static_cast<bool>(out));
  EXPECT_EQ(out.close(), 0);
  EXPECT_EQ(Read(path),
            "1  devtype = 17\n14 mechtilt = -35\n13 bearing = 65535\n6  vendorid = KA\n8  sn = \n");

  InFileStream in;
  ASSERT_EQ(in.open(path.c_str(), "r"), 0);
  int number = 0;
  char key[32];
  char eq[4];
  int devtype = 0;
  in >> number >> key >> eq;
  EXPECT_EQ(in.get(), ' ');
  in >> devtype;
  EXPECT_EQ(number, 1);
  EXPECT_STREQ(key, "devtype");
  EXPECT_STREQ(eq, "=");
  EXPECT_EQ(devtype, 17);

  short mechtilt = 0;
  in >> number >> key >> eq;
  in.get();
  in >> mechtilt;
  EXPECT_EQ(mechtilt, -35);

  unsigned short bearing = 0;
  in >> number >> key >> eq;
  in.get();
  in >> bearing;
  EXPECT_EQ(bearing, 65535);

  char line[64];
  in.gets(line);  // after a number the rest of its line is just "\n"
  EXPECT_STREQ(line, "\n");
  in.gets(line);
  EXPECT_STREQ(line, "6  vendorid = KA\n");
  in >> number >> key >> eq;
  in.get();
  in.gets(line);  // empty text value
  EXPECT_STREQ(line, "\n");
  EXPECT_TRUE(static_cast<bool>(in));
  EXPECT_FALSE(in.eof());

  EXPECT_EQ(in.get(), -1);
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(static_cast<bool>(in));
}

TEST_F(FileStreamTest, LinesKeepExactlyOneLineFeed) {
  // Raw bytes (a carriage return, a byte above 127) are delivered as they are.
  const std::string path = Write("lines.txt", "first line\n\nraw\r\xC8\nlast without feed");
  InFileStream in;
  ASSERT_EQ(in.open(path.c_str(), "r"), 0);
  char line[64];
  EXPECT_STREQ(in.gets(line).fail() ? "<fail>" : line, "first line\n");
  in.gets(line);
  EXPECT_STREQ(line, "\n");
  EXPECT_EQ(in.get(), 'r');
  in.gets(line);
  EXPECT_STREQ(line, "aw\r\xC8\n");
  in.gets(line);
  EXPECT_STREQ(line, "last without feed\n");  // so dropping the last char loses no data
  EXPECT_TRUE(static_cast<bool>(in));
  EXPECT_TRUE(in.eof());
  in.gets(line);
  EXPECT_STREQ(line, "");
  EXPECT_TRUE(in.fail());

  const std::string bytes = Write("bytes.bin", "\xFF");
  ASSERT_EQ(in.open(bytes.c_str(), "rb"), 0);  // reopening resets the state
  EXPECT_EQ(in.get(), 0xFF);                   // not confused with the end (-1)
}

TEST_F(FileStreamTest, OverlongWordsAndLinesAreCutWithoutOverrun) {
  const std::string path =
      Write("long.txt", "ABCDEFGHIJ next\nan overlong line of text\nshort\n  \t\n");
  InFileStream in;
  ASSERT_EQ(in.open(path.c_str()), 0);
  char buf[16];
  std::memset(buf, '#', sizeof buf);
  in.ReadWord(buf, 5);  // room for 4 characters
  EXPECT_STREQ(buf, "ABCD");
  EXPECT_EQ(buf[5], '#');
  in >> buf;  // the rest of the long word was skipped
  EXPECT_STREQ(buf, "next");
  in.gets(buf);
  EXPECT_STREQ(buf, "\n");

  std::memset(buf, '#', sizeof buf);
  in.gets(buf, 8);
  EXPECT_STREQ(buf, "an ove\n");  // 6 characters + line feed + zero
  EXPECT_EQ(buf[8], '#');
  in.gets(buf, 8);  // the rest of the long line was skipped
  EXPECT_STREQ(buf, "short\n");
  in.gets(buf, 2);
  EXPECT_STREQ(buf, "\n");
  EXPECT_TRUE(static_cast<bool>(in));

  in >> buf;  // only blanks before the end of the file
  EXPECT_STREQ(buf, "");
  EXPECT_TRUE(in.fail());
}

TEST_F(FileStreamTest, BadNumbersLeaveTheTargetAndFailTheStream) {
  const std::string path = Write("numbers.txt", "40000 -1 99999999999 x12 7");
  InFileStream in;
  ASSERT_EQ(in.open(path.c_str()), 0);

  short s = 5;
  in >> s;  // out of range for a short
  EXPECT_EQ(s, 5);
  EXPECT_TRUE(in.fail());
  int i = 9;
  in >> i;  // failed state is sticky
  EXPECT_EQ(i, 9);
  in.clear();

  unsigned short u = 3;
  in >> u;  // negative is refused, not wrapped
  EXPECT_EQ(u, 3);
  EXPECT_TRUE(in.fail());
  in.clear();

  in >> i;  // too big for an int; all its digits are consumed
  EXPECT_EQ(i, 9);
  EXPECT_TRUE(in.fail());
  in.clear();

  in >> i;  // no digits
  EXPECT_EQ(i, 9);
  EXPECT_TRUE(in.fail());
  in.clear();
  char word[8];
  in >> word;  // the bad token is still there to be read as a word
  EXPECT_STREQ(word, "x12");
  in >> i;
  EXPECT_EQ(i, 7);
  EXPECT_TRUE(static_cast<bool>(in));
  EXPECT_TRUE(in.eof());
}

TEST_F(FileStreamTest, UnopenableFilesAreReportedAndReadsStaySafe) {
  InFileStream in;
  EXPECT_NE(in.open(Path("missing.dat").c_str(), "r"), 0);
  EXPECT_FALSE(in.is_open());
  int i = 4;
  char buf[8] = "old";
  in >> i >> buf;
  EXPECT_EQ(i, 4);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(in.get(), -1);
  EXPECT_STREQ(in.gets(buf).fail() ? "fail" : "ok", "fail");
  in.close();  // closing a stream that never opened is harmless

  EXPECT_NE(in.open(dir_.c_str(), "r"), 0);  // a directory
  EXPECT_NE(in.open(nullptr, "r"), 0);

  // An input stream never opens for writing, so it cannot truncate its file.
  const std::string keep = Write("keep.txt", "data\n");
  EXPECT_NE(in.open(keep.c_str(), "w"), 0);
  EXPECT_NE(in.open(keep.c_str(), "r+"), 0);
  EXPECT_EQ(Read(keep), "data\n");

  OutFileStream out;
  out << "lost" << 1;
  EXPECT_TRUE(out.fail());
  EXPECT_NE(out.close(), 0);
  EXPECT_NE(out.open((dir_ + "/no/such/dir/x").c_str()), 0);
  EXPECT_NE(out.open(keep.c_str(), "r"), 0);
  EXPECT_EQ(Read(keep), "data\n");
}

TEST_F(FileStreamTest, OutputAppendsAndWritesRawBytes) {
  const std::string path = Path("out.txt");
  {
    OutFileStream out;
    ASSERT_EQ(out.open(path.c_str(), "w"), 0);
    out << "a=" << 0 << ' ' << -2147483647 - 1 << ' ' << 4000000000u << '\0' << '\n';
    out << static_cast<const char*>(nullptr);
  }  // the destructor closes and flushes
  EXPECT_EQ(Read(path), std::string("a=0 -2147483648 4000000000\0\n", 28));
  OutFileStream out;
  ASSERT_EQ(out.open(path.c_str(), "a"), 0);
  out << "more\n";
  EXPECT_EQ(out.close(), 0);
  EXPECT_EQ(Read(path), std::string("a=0 -2147483648 4000000000\0\nmore\n", 33));
}

}  // namespace
