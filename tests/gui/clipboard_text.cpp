// Prints the text on the X clipboard, for checks on a real X server (scripts/xdnd_check.sh reads
// the rows the result list copied).
//   clipboard_text
#include <QApplication>
#include <QClipboard>
#include <cstdio>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const QByteArray text = QApplication::clipboard()->text().toUtf8();
  std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
  return 0;
}
