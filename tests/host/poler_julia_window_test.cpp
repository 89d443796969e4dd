// The polar transform and the Julia set as a user meets them in the main
// window of the real program with the standard package: the filter's panel
// in the filter box (grid, formula, constants, origin picker, preview,
// apply) and the generator's panel in the generator box (its own preview,
// click to zoom, generation into new documents).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <set>
#include <thread>

#include "document/kwchild.h"
#include "document/kwparent.h"
#include "document/kwpaths.h"
#include "host/filterbox.h"
#include "host/generatorbox.h"
#include "host/program.h"
#include "image/kwimage.h"
#include "platform/sysutils.h"
#include "ui/messages.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char arg0[] = "startup_tests";
  static char* argv[] = {arg0, nullptr};
  if (!QApplication::instance()) new QApplication(argc, argv);
}

bool waitFor(const std::function<bool()>& done, int seconds = 30) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done() && std::chrono::steady_clock::now() < end) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

// The page of a box whose tab carries caption, made current.
QWidget* showPage(TKWProcBox* box, const char* caption) {
  QTabWidget* pc = box->PageControl();
  for (int i = 0; i < pc->count(); ++i)
    if (pc->tabText(i) == QString::fromUtf8(caption)) {
      pc->setCurrentIndex(i);
      return pc->widget(i);
    }
  return nullptr;
}

uint32_t rgb(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; }

}  // namespace

TEST(StandardPanels, PolarTransformAndJuliaSetInTheMainWindow) {
  ensureApp();
  QTemporaryDir data;
  QDir(data.path()).mkpath("ProcLib");
  SetKWDataDir(data.path().toStdString());
  SetExecutableDir(data.path().toStdString() + "/");
  std::vector<std::string> messages;
  TMessageHandler oldHandler = SetMessageHandler([&](TMsgKind, const std::string&, const std::string& t, bool) {
    messages.push_back(t);
    return TMsgResult::Ok;
  });
  // The picture comes from another program.
  const QString in = data.path() + "/in.bmp";
  ASSERT_EQ(QProcess::execute("convert", {"-size", "96x72", "gradient:red-blue", "-swirl", "120", "BMP3:" + in}),
            0);
  {
    TKWProgram program;
    program.Start(nullptr, KW_PROCLIB_DIR);
    TKWParent* main = program.MainWindow();
    bool started = false;
    main->StartupDone = [&] { started = true; };
    main->show();
    ASSERT_TRUE(waitFor([&] { return started; }));

    // Polar transform: slot R of stage 2 set to "比例" with A = -1 takes
    // every pixel to the origin, which a press in the picker places.
    main->OpenFiles({in});
    ASSERT_EQ(main->Children().size(), 1);
    TKWChild* doc = main->Children().back();
    TBitmap src;
    src.Assign(*doc->CurrentImage());
    TFilterBox* fb = program.FilterBox();
    QWidget* poler = showPage(fb, "極座標変形");
    ASSERT_NE(poler, nullptr);
    auto* grid = poler->findChild<QTableWidget*>("sgStages");
    auto* picker = poler->findChild<QWidget*>("pbOrigin");
    auto* ox = poler->findChild<QLineEdit*>("edrOriginX");
    auto* oy = poler->findChild<QLineEdit*>("edrOriginY");
    auto* a = poler->findChild<QLineEdit*>("edrA");
    ASSERT_TRUE(grid && picker && ox && oy && a);
    EXPECT_EQ(ox->text(), "48");  // the centre of the image, in pixels
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(1, 0)).center());
    poler->findChild<QWidget*>("rgMethod")->findChildren<QRadioButton*>()[1]->click();
    EXPECT_EQ(grid->item(1, 0)->text().toStdString(), "比例");
    a->selectAll();
    QTest::keyClicks(a, "-1");
    EXPECT_EQ(a->text(), "-1");
    QTest::mousePress(picker, Qt::LeftButton, {}, QPoint(picker->width() / 4, picker->height() * 3 / 4));
    QTest::mouseRelease(picker, Qt::LeftButton, {}, QPoint(picker->width() / 4, picker->height() * 3 / 4));
    const int x0 = ox->text().toInt(), y0 = oy->text().toInt();
    EXPECT_NEAR(x0, 24, 2);
    EXPECT_NEAR(y0, 54, 2);
    // The box's preview followed the changes: one colour.
    const QImage preview = fb->imPreview->Picture();
    std::set<uint32_t> previewColours;
    for (int y = 0; y < preview.height(); ++y)
      for (int x = 0; x < preview.width(); ++x) previewColours.insert(rgb(preview, x, y));
    EXPECT_EQ(previewColours.size(), 1u);
    fb->bbtDoFilter->click();
    const TKWBitmap& out = *doc->CurrentImage();
    const uint32_t origin = src.PixelBGRA(x0, y0) & 0xFFFFFF;
    int other = 0;
    for (int y = 0; y < 72; ++y)
      for (int x = 0; x < 96; ++x) other += (out.PixelBGRA(x, y) & 0xFFFFFF) != origin;
    EXPECT_EQ(other, 0);
    EXPECT_NE(src.PixelBGRA(0, 0) & 0xFFFFFF, origin);

    // Julia set: the panel previews itself once shown; a generation of the
    // preview's size gives the same picture.
    TGeneratorBox* gb = program.GeneratorBox();
    gb->edrWidth->setText("128");
    gb->edrHeight->setText("128");
    QWidget* julia = showPage(gb, "ジュリア集合");
    ASSERT_NE(julia, nullptr);
    auto* im = julia->findChild<QWidget*>("imPreview");
    ASSERT_NE(im, nullptr);
    auto previewDone = [&] {
      return waitFor([&] { return im->toolTip() == QString::fromUtf8("クリックすると、そこを中心に拡大します"); });
    };
    julia->findChild<QWidget*>("rgMethod")->findChildren<QRadioButton*>()[2]->click();  // C sin z
    julia->findChild<QLineEdit*>("edrCReal")->setText("1");
    julia->findChild<QLineEdit*>("edrCImage")->setText("0.3");
    auto generated = [&](const QImage& shown) {
      const int before = main->Children().size();
      gb->bbtCreate->click();
      EXPECT_EQ(main->Children().size(), before + 1);
      const TKWBitmap& g = *main->Children().back()->CurrentImage();
      EXPECT_EQ(g.Width(), 128);
      EXPECT_EQ(g.Height(), 128);
      int differ = 0;
      std::set<uint32_t> colours;
      for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
          differ += (g.PixelBGRA(x, y) & 0xFFFFFF) != rgb(shown, x, y);
          colours.insert(g.PixelBGRA(x, y) & 0xFFFFFF);
        }
      EXPECT_EQ(differ, 0);
      EXPECT_GT(colours.size(), 20u);
    };
    // Enter in a number field previews the panel's values.
    QTest::keyClick(julia->findChild<QLineEdit*>("edrCImage"), Qt::Key_Return);
    ASSERT_TRUE(previewDone());
    ASSERT_EQ(im->size(), QSize(128, 128));
    generated(im->grab().toImage());

    // A click on the preview halves both ranges about the clicked point.
    QTest::mouseClick(im, Qt::LeftButton, {}, QPoint(32, 96));
    EXPECT_EQ(julia->findChild<QLineEdit*>("edrRangeRealStart")->text(), "   -2.000000");
    EXPECT_EQ(julia->findChild<QLineEdit*>("edrRangeRealEnd")->text(), "    0.000000");
    EXPECT_EQ(julia->findChild<QLineEdit*>("edrRangeImageStart")->text(), "    0.000000");
    EXPECT_EQ(julia->findChild<QLineEdit*>("edrRangeImageEnd")->text(), "   -2.000000");
    ASSERT_TRUE(previewDone());
    generated(im->grab().toImage());
    EXPECT_TRUE(messages.empty()) << messages.front();

    TKWChild::WriteResume = false;
    for (TKWChild* c : main->Children()) c->Modified = false;
    main->close();
    TKWChild::WriteResume = true;
  }
  SetMessageHandler(oldHandler);
  SetKWDataDir("");
  SetExecutableDir("");
}
