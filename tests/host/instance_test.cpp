#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QtEndian>

#include "host/instance.h"

namespace {
void ensureApp() {
  static int argc = 1;
  static char arg0[] = "host_tests";
  static char* argv[] = {arg0, nullptr};
  if (!QApplication::instance()) new QApplication(argc, argv);
}
}  // namespace

TEST(Instance, MessageTextRoundTripsAndRejectsForeignData) {
  QStringList names = {"/tmp/a b.bmp", "/tmp/日本語.png", "/tmp/dir"};
  QByteArray msg = TKWInstance::Encode(names);
  EXPECT_EQ(qFromLittleEndian<quint32>(msg.constData()), 0x11000011u);
  EXPECT_EQ(msg.back(), '\0');
  EXPECT_EQ(TKWInstance::Decode(msg), names);

  QByteArray wrongTag = msg;
  wrongTag[0] = 0x12;
  EXPECT_TRUE(TKWInstance::Decode(wrongTag).isEmpty());
  QByteArray truncated = msg.left(msg.size() - 5);  // size field claims more than there is
  EXPECT_TRUE(TKWInstance::Decode(truncated).isEmpty());
  EXPECT_TRUE(TKWInstance::Decode(QByteArray("\x11", 1)).isEmpty());
  EXPECT_TRUE(TKWInstance::Decode(QByteArray()).isEmpty());
}

TEST(Instance, SecondInstanceHandsItsNamesToTheFirstInOrder) {
  ensureApp();
  QString key = QString("kw-test-%1").arg(::getpid());
  TKWInstance first(key);
  ASSERT_TRUE(first.Acquire());
  TKWInstance second(key);
  EXPECT_FALSE(second.Acquire());

  QSignalSpy spy(&first, &TKWInstance::FilesReceived);
  ASSERT_TRUE(second.Forward({"/x/1.bmp", "/x/2.bmp"}));
  ASSERT_TRUE(spy.wait(5000));
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).toStringList(), (QStringList{"/x/1.bmp", "/x/2.bmp"}));
}

TEST(Instance, NobodyListeningMeansForwardFails) {
  ensureApp();
  TKWInstance lonely(QString("kw-none-%1").arg(::getpid()));
  EXPECT_FALSE(lonely.Forward({"/x"}, 300));
}
