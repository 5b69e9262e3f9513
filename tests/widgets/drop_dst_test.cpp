// The drop target: uri-list drops in order, refusal, the error box and native-window re-creation.
#include "widgets/drop_dst.h"

#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <memory>
#include <new>

#include "runtime/exceptions.h"
#include "widgets/error_box.h"
#include "widgets/qt_app.h"

namespace qv::widgets {
namespace {

std::unique_ptr<QMimeData> UriList(const QStringList& paths) {
  auto data = std::make_unique<QMimeData>();
  QList<QUrl> urls;
  for (const QString& path : paths) urls.push_back(QUrl::fromLocalFile(path));
  urls.push_back(QUrl(QStringLiteral("https://example.org/not-a-file.png")));
  data->setUrls(urls);
  return data;
}

// Sends a drag-enter and a drop at point; returns whether the drag was accepted.
bool DragAndDrop(QWidget& target, const QMimeData& data, QPoint point) {
  QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(point), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&target, &drop);
  return drop.isAccepted();
}

// A form whose native window can be destroyed and made anew, as a frame-style change does.
class TRecreatableForm : public QWidget {
 public:
  void Recreate() {
    destroy();
    create();
    show();
  }
};

// Records the reasons of HandleChanged.
class TRecordingDropDst : public TDropDst {
 public:
  using TDropDst::TDropDst;
  std::vector<int> reasons;

 protected:
  void HandleChanged(int reason) override {
    reasons.push_back(reason);
    TDropDst::HandleChanged(reason);
  }
};

struct Received {
  int events = 0;
  std::vector<std::string> files;
  int x = -1, y = -1;
};

class DropDstTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qv::testing::App();
    form_ = std::make_unique<TRecreatableForm>();
    form_->resize(104, 100);
    drop_ = new TRecordingDropDst(form_.get());
    drop_->SetTarget(THookTarget::htForm);
    drop_->OnFileDrop = [this](TDropDst* sender, const std::vector<std::string>& files, int x,
                               int y) {
      EXPECT_EQ(sender, drop_);
      ++received_.events;
      received_.files = files;
      received_.x = x;
      received_.y = y;
      if (throw_) throw Exception("変換できません");
    };
    drop_->Loaded();
    form_->show();
  }

  std::unique_ptr<TRecreatableForm> form_;
  TRecordingDropDst* drop_ = nullptr;
  Received received_;
  bool throw_ = false;
};

TEST_F(DropDstTest, ThreeFilesArriveAsOneEventInOrder) {
  std::string long_name = "/tmp/" + std::string(254, 'n');  // 259 characters
  auto data =
      UriList({QStringLiteral("/tmp/c.bmp"), QStringLiteral("/tmp/a b.png"), FromLocal(long_name)});
  ASSERT_TRUE(DragAndDrop(*form_, *data, QPoint(30, 40)));
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return received_.events > 0; }));
  EXPECT_EQ(received_.events, 1);
  EXPECT_EQ(received_.files, (std::vector<std::string>{"/tmp/c.bmp", "/tmp/a b.png", long_name}));
  EXPECT_EQ(received_.x, 30);
  EXPECT_EQ(received_.y, 40);
}

TEST_F(DropDstTest, RefusedWithoutAcceptDropOrLocalFiles) {
  auto web_only = std::make_unique<QMimeData>();
  web_only->setUrls({QUrl(QStringLiteral("https://example.org/x.png"))});
  EXPECT_FALSE(DragAndDrop(*form_, *web_only, QPoint(1, 1)));
  drop_->SetAcceptDrop(false);
  EXPECT_FALSE(form_->acceptDrops());
  auto data = UriList({QStringLiteral("/tmp/a.bmp")});
  EXPECT_FALSE(DragAndDrop(*form_, *data, QPoint(1, 1)));
  drop_->SetAcceptDrop(true);
  EXPECT_TRUE(form_->acceptDrops());
  QApplication::processEvents();
  EXPECT_EQ(received_.events, 0);
}

TEST_F(DropDstTest, AFailingHandlerIsShownOnceAndDropsGoOn) {
  throw_ = true;
  qv::testing::TMessageBoxCatcher boxes;
  auto data = UriList({QStringLiteral("/tmp/a.bmp")});
  ASSERT_TRUE(DragAndDrop(*form_, *data, QPoint(5, 5)));
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return boxes.texts.size() == 1; }));
  EXPECT_EQ(boxes.texts.front(), QStringLiteral("変換できません."));
  throw_ = false;
  ASSERT_TRUE(DragAndDrop(*form_, *data, QPoint(5, 5)));
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return received_.events == 2; }));
  EXPECT_EQ(boxes.texts.size(), 1);
}

TEST_F(DropDstTest, SurvivesReCreationOfTheNativeWindow) {
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return form_->internalWinId() != 0; }));
  EXPECT_EQ(drop_->Handle(), static_cast<qintptr>(form_->internalWinId()));
  form_->setAcceptDrops(false);  // the new window starts without drop registration
  drop_->reasons.clear();
  form_->Recreate();
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return drop_->Handle() > 0; }));
  EXPECT_EQ(drop_->reasons, (std::vector<int>{1, 2}));
  EXPECT_EQ(drop_->Handle(), static_cast<qintptr>(form_->internalWinId()));
  EXPECT_TRUE(form_->acceptDrops());
  auto data = UriList({QStringLiteral("/tmp/after.bmp")});
  ASSERT_TRUE(DragAndDrop(*form_, *data, QPoint(2, 3)));
  ASSERT_TRUE(qv::testing::ProcessUntil([&] { return received_.events == 1; }));
  EXPECT_EQ(received_.files, std::vector<std::string>{"/tmp/after.bmp"});
}

TEST(DropDst, NoFormToHookIsAFailure) {
  qv::testing::App();
  QObject owner;
  TDropDst drop(&owner);
  drop.SetTarget(THookTarget::htForm);
  try {
    drop.Loaded();
    FAIL() << "no failure";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "フック先を特定できません。");
  }
}

struct ErrorTextCase {
  std::exception_ptr error;
  std::optional<QString> text;
};

TEST(ErrorBox, DotRuleAndSilentAbort) {
  const ErrorTextCase cases[] = {
      {std::make_exception_ptr(Exception("abc")), QStringLiteral("abc.")},
      {std::make_exception_ptr(Exception("done.")), QStringLiteral("done.")},
      {std::make_exception_ptr(Exception("x!")), QStringLiteral("x!")},
      {std::make_exception_ptr(Exception("完了")), QStringLiteral("完了.")},
      {std::make_exception_ptr(EAbort()), std::nullopt},
      {nullptr, std::nullopt},
  };
  for (const ErrorTextCase& c : cases) EXPECT_EQ(ErrorBoxMessage(c.error), c.text);
}

// Memory that could not be had anywhere shows the system's message, not "std::bad_alloc".
TEST(ErrorBox, OutOfMemoryInTheSystemsWords) {
  EXPECT_EQ(ErrorBoxMessage(std::make_exception_ptr(std::bad_alloc())),
            QString::fromUtf8("メモリが足りません."));
}

}  // namespace
}  // namespace qv::widgets
