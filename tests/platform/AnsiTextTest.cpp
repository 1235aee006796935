#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/TestPipe.h"
#include "platform/AnsiText.h"

using namespace platform;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

}  // namespace

TEST(AnsiText, EveryByteSurvivesWindows1252RoundTrip) {
  QByteArray all;
  for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
  const QString text = FromWindows1252(all);
  ASSERT_EQ(text.size(), 256);
  EXPECT_TRUE(FitsWindows1252(text));
  EXPECT_EQ(ToWindows1252(text), all);

  // The block that differs from Latin-1, and a few places around it.
  EXPECT_EQ(text.at(0x80), QChar(0x20AC));  // euro
  EXPECT_EQ(text.at(0x84), QChar(0x201E));  // low double quote
  EXPECT_EQ(text.at(0x8A), QChar(0x0160));
  EXPECT_EQ(text.at(0x96), QChar(0x2013));  // en dash
  EXPECT_EQ(text.at(0x9F), QChar(0x0178));
  EXPECT_EQ(text.at(0x81), QChar(0x0081));  // undefined bytes keep their number
  EXPECT_EQ(text.at(0xA0), QChar(0x00A0));
  EXPECT_EQ(text.at(0xE4), QChar(0x00E4));
  EXPECT_EQ(text.at(0xFF), QChar(0x00FF));
}

TEST(AnsiText, CharactersOutsideWindows1252DoNotFit) {
  EXPECT_FALSE(FitsWindows1252(QStringLiteral("\u0141ukasz")));  // Polish L with stroke
  EXPECT_FALSE(FitsWindows1252(QString(QChar(0x0080))));        // C1 control with no byte
  EXPECT_EQ(ToWindows1252(QStringLiteral("\u0141ukasz")), QByteArray("?ukasz"));
  // A character beyond the BMP becomes a single '?', not one per UTF-16 unit.
  EXPECT_EQ(ToWindows1252(QStringLiteral("a\U0001F6B4b")), QByteArray("a?b"));
}

TEST(AnsiText, LinesFittingWindows1252AreWrittenAsWindows1252WithCrLf) {
  const QStringList lines{QStringLiteral("M\u00fcller;\u20ac"), QString(), QStringLiteral("1.05,2")};
  const QByteArray bytes = EncodeLines(lines);
  EXPECT_EQ(bytes, QByteArray("M\xFCller;\x80\r\n\r\n1.05,2\r\n"));
  EXPECT_EQ(SplitLines(DecodeText(bytes)), lines);
}

TEST(AnsiText, LinesNotFittingAreWrittenAsUtf8WithBom) {
  const QStringList lines{QStringLiteral("\u0141ukasz M\u00fcller"), QStringLiteral("x")};
  const QByteArray bytes = EncodeLines(lines);
  EXPECT_EQ(bytes, QByteArray("\xEF\xBB\xBF\xC5\x81ukasz M\xC3\xBCller\r\nx\r\n"));
  EXPECT_EQ(SplitLines(DecodeText(bytes)), lines);
}

TEST(AnsiText, TextsTheCodePageWouldNotBringBackAreWrittenAsUtf8) {
  // Code-page bytes that read as UTF-8, bytes that look like a byte-order mark, and a text
  // that starts with the mark's character: each comes back as written.
  for (const QString& name : {QStringLiteral("\u00c3\u00a9"), QStringLiteral("\u00ef\u00bb\u00bfM\u00fcller"),
                              QStringLiteral("\ufeffAnna"), QStringLiteral("\ufeff\ufeff")}) {
    const QStringList lines{name, QStringLiteral("x")};
    const QByteArray bytes = EncodeLines(lines);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << name.toStdString();
    EXPECT_EQ(SplitLines(DecodeText(bytes)), lines) << name.toStdString();
  }
  // A plain code-page text stays in the code page.
  EXPECT_EQ(EncodeLines({QStringLiteral("\u00e9t\u00e9")}), QByteArray("\xE9t\xE9\r\n"));
}

TEST(AnsiText, DecodingChoosesUtf8OnlyForValidUtf8) {
  // Valid UTF-8, with and without a byte-order mark.
  EXPECT_EQ(DecodeText("M\xC3\xBCller"), QStringLiteral("M\u00fcller"));
  EXPECT_EQ(DecodeText("\xEF\xBB\xBFM\xC3\xBCller"), QStringLiteral("M\u00fcller"));
  // Windows-1252 bytes that are not UTF-8.
  EXPECT_EQ(DecodeText("M\xFCller \x80"), QStringLiteral("M\u00fcller \u20ac"));
  // Malformed UTF-8 of several kinds falls back to Windows-1252 as a whole.
  EXPECT_EQ(DecodeText("\xC0\xAF"), QStringLiteral("\u00c0\u00af"));            // overlong
  EXPECT_EQ(DecodeText("\xED\xA0\x80"), QStringLiteral("\u00ed\u00a0\u20ac"));  // surrogate
  EXPECT_EQ(DecodeText("ab\xC3"), QStringLiteral("ab\u00c3"));                   // cut short
  EXPECT_EQ(DecodeText("\xF4\x90\x80\x80"), FromWindows1252("\xF4\x90\x80\x80"));  // > U+10FFFF
  // Pure ASCII and the empty file.
  EXPECT_EQ(DecodeText("plain"), QStringLiteral("plain"));
  EXPECT_EQ(DecodeText(QByteArray()), QString());
}

TEST(AnsiText, LinesSplitAtCrLfAndCrLf) {
  EXPECT_EQ(SplitLines(QStringLiteral("a\r\nb\rc\nd")), (QStringList{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines(QStringLiteral("a\r\n")), QStringList{"a"});
  EXPECT_EQ(SplitLines(QStringLiteral("a\r\n\r\n")), (QStringList{"a", ""}));
  // LF followed by CR is two line ends, CR followed by CR LF too.
  EXPECT_EQ(SplitLines(QStringLiteral("\n\r")), (QStringList{"", ""}));
  EXPECT_EQ(SplitLines(QStringLiteral("x\r\r\ny")), (QStringList{"x", "", "y"}));
  EXPECT_EQ(SplitLines(QString()), QStringList());
  EXPECT_EQ(SplitLines(QStringLiteral("\t ")), QStringList{"\t "});
}

TEST(AnsiText, FilesAreReplacedWholeAndReadBack) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("Kategorie.txt"));

  EXPECT_FALSE(ReadTextFile(path).has_value());
  {
    // A pipe is no file: refused at once instead of waiting for a writer.
    TestPipe pipe(path);
    ASSERT_TRUE(pipe.Created());
    EXPECT_FALSE(ReadTextFile(path).has_value());
    EXPECT_FALSE(pipe.ReaderWaited());
  }
  ASSERT_TRUE(WriteTextFile(path, {QStringLiteral("M"), QStringLiteral("F\u00e4")}));
  EXPECT_EQ(ReadAll(path), QByteArray("M\r\nF\xE4\r\n"));
  ASSERT_TRUE(WriteTextFile(path, {QStringLiteral("X")}));
  EXPECT_EQ(ReadAll(path), QByteArray("X\r\n"));
  EXPECT_EQ(ReadTextFile(path), QStringList{"X"});
  // No temporary file is left beside the target.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Kategorie.txt"});

  // A write that cannot happen reports it and leaves nothing half done.
  const QString missingFolder = dir.filePath(QStringLiteral("none/out.txt"));
  EXPECT_FALSE(WriteFileAtomically(missingFolder, "data"));
  EXPECT_FALSE(QFile::exists(missingFolder));
  const QString folderAsTarget = dir.path();
  EXPECT_FALSE(WriteFileAtomically(folderAsTarget, "data"));
  EXPECT_TRUE(QFileInfo(folderAsTarget).isDir());
}
