#include "core/CandidatePanel.h"
#include "support/FakePlatform.h"
#include "ui/CandidatePanelView.h"
#include "ui/CandidateRowWidget.h"
#include "ui/QtKeys.h"
#include "ui/QtPanelWindow.h"

#include "UiTestSupport.h"

#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

using UiTestSupport::spinUntil;

namespace {

QList<Candidate> rows(int n, CandidateKind kind = CandidateKind::hanja)
{
    QList<Candidate> out;
    for (int i = 1; i <= n; ++i) {
        Candidate c;
        c.primary = QStringLiteral("首都%1").arg(i);
        c.secondary = QStringLiteral("머리 수 · 도읍 도");
        c.replacement = c.primary;
        c.kind = kind;
        out.append(c);
    }
    return out;
}

struct PanelWindowFixture : ::testing::Test {
    std::shared_ptr<FakePlatform> fake = FakePlatform::install();
    bool composited = true;
    std::shared_ptr<QtPanelWindow> window = std::make_shared<QtPanelWindow>([this] { return composited; });
    CandidatePanel panel;
    QList<QPair<QString, bool>> picks;

    PanelWindowFixture() { fake->platform->panelWindow = window; }
    ~PanelWindowFixture() override { panel.dismiss(); }

    void showList(int n, CandidateKind kind = CandidateKind::hanja)
    {
        panel.session += 1;
        panel.show(rows(n, kind), QStringLiteral("\"수도\"를 · 빈도순 · 한글(漢字)"), PanelAnchor::mouse(), panel.session,
                   [this](const Candidate& row, bool option) { picks.append({row.primary, option}); });
    }
    void showNotice()
    {
        panel.session += 1;
        panel.showNotice(QStringLiteral("선택된 텍스트가 없습니다"), PanelAnchor::mouse(), panel.session);
    }
    void showLoading()
    {
        panel.session += 1;
        panel.showLoading(QStringLiteral("\"수도\"를 · AI · 한글(漢字)"), PanelAnchor::mouse(), panel.session);
    }
    CandidatePanelView* view() const { return window->view(); }
    int rowHeight(int i) const { return view()->rows().at(i)->sizeHint().height(); }
    QSize frameSize() const { return window->frame().size().toSize(); }
};

} // namespace

TEST_F(PanelWindowFixture, SizeFollowsRowsExpansionAndNotices)
{
    showNotice();
    const QSize notice = frameSize();
    EXPECT_EQ(notice.width(), 320);
    EXPECT_TRUE(view()->rows().isEmpty());
    EXPECT_TRUE(view()->keyHint().isEmpty());

    showLoading();
    EXPECT_EQ(frameSize(), notice) << "loading: header and spinner only, bottom padding 9 as a notice";
    EXPECT_TRUE(view()->showsSpinner());

    showList(1);
    const QSize one = frameSize();
    ASSERT_EQ(view()->rows().size(), 1);
    const int row = rowHeight(0);
    // The header loses 4 of its bottom padding (9 → 5) and the 5-high spacer closes the list.
    EXPECT_EQ(one, QSize(320, notice.height() - 4 + row + 5));
    EXPECT_EQ(view()->keyHint(), QStringLiteral("1 교체 · Alt+1 복사 · esc"));

    showList(3);
    EXPECT_EQ(frameSize(), QSize(320, one.height() + 2 * row));
    EXPECT_EQ(view()->keyHint(), QStringLiteral("1~3 교체 · Alt+1~3 복사 · esc"));
    EXPECT_EQ(view()->moreRow(), nullptr);

    showList(4);
    ASSERT_NE(view()->moreRow(), nullptr);
    const int more = view()->moreRow()->sizeHint().height();
    EXPECT_LT(more, row);
    EXPECT_EQ(frameSize(), QSize(320, one.height() + 2 * row + more));
    EXPECT_EQ(view()->rows().size(), 3);

    showList(12);
    EXPECT_EQ(frameSize(), QSize(320, one.height() + 2 * row + more)) << "collapsed, 12 rows look like 4";
    QTest::keyClick(window.get(), Qt::Key_Right);
    ASSERT_TRUE(spinUntil([&] { return frameSize().height() != one.height() + 2 * row + more; }));
    ASSERT_NE(view()->scrollView(), nullptr);
    EXPECT_EQ(view()->scrollView()->height(), 306);
    EXPECT_EQ(view()->rows().size(), 12);
    EXPECT_EQ(view()->moreRow(), nullptr);
    EXPECT_EQ(frameSize(), QSize(320, one.height() - row + 306));
    EXPECT_EQ(view()->keyHint(), QStringLiteral("1~9 교체 · Alt+1~9 복사 · esc"));

    // Hanja rows are set larger than the other kinds.
    showList(1, CandidateKind::layout);
    EXPECT_LT(rowHeight(0), row);
}

// A correction wider than the panel wraps below itself, its original below that; the panel stays
// 320 wide and grows, and a text of any length stops at eight lines.
TEST_F(PanelWindowFixture, AWideCorrectionWrapsInsteadOfRunningOffThePanel)
{
    const auto showOne = [&](const QString& primary) {
        Candidate c;
        c.kind = CandidateKind::proofread;
        c.primary = c.replacement = primary;
        c.secondary = QStringLiteral("원문: 오늘은 날씨가 정말 조아서");
        panel.session += 1;
        panel.show({c}, QStringLiteral("오타 정리 · AI"), PanelAnchor::mouse(), panel.session,
                   [](const Candidate&, bool) {});
    };
    showOne(QStringLiteral("오늘은 날씨가 좋다."));
    const int oneLine = rowHeight(0);
    const QSize small = frameSize();

    showOne(QStringLiteral("오늘은 날씨가 정말 좋아서 친구들과 함께 한강 공원에 가서 자전거를 탔습니다."));
    const int wrapped = rowHeight(0);
    // Two lines of text and the original on a line of its own.
    EXPECT_GT(wrapped, oneLine + 2 * 14);
    EXPECT_EQ(frameSize(), QSize(320, small.height() + wrapped - oneLine));

    QString endless;
    for (int i = 0; i < 60; ++i) endless += QStringLiteral("날씨가 좋아서 ");
    showOne(endless);
    const int capped = rowHeight(0);
    EXPECT_GT(capped, wrapped);
    EXPECT_LT(capped, oneLine + 8 * 30);
    EXPECT_EQ(frameSize().width(), 320);
}

// Without a compositor the corners outside the rounded box would show black: the window is cut
// to the box, whatever size it takes, and uncut once a compositor runs.
TEST_F(PanelWindowFixture, WithoutACompositorTheWindowIsCutToItsRoundedBox)
{
    composited = false;
    const auto expectCut = [&](const char* what) {
        SCOPED_TRACE(what);
        const QRegion mask = window->mask();
        const QRect r(QPoint(0, 0), frameSize());
        EXPECT_EQ(mask.boundingRect(), r);
        for (const QPoint corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()}) {
            EXPECT_FALSE(mask.contains(corner)) << corner.x() << "," << corner.y();
            // Still outside a radius-10 arc 2 pixels in along the diagonal.
            const QPoint in(corner.x() == 0 ? 2 : corner.x() - 2, corner.y() == 0 ? 2 : corner.y() - 2);
            EXPECT_FALSE(mask.contains(in)) << in.x() << "," << in.y();
        }
        for (const QPoint edge : {QPoint(r.center().x(), 0), QPoint(0, r.center().y()), QPoint(r.right(), r.center().y()),
                                  QPoint(r.center().x(), r.bottom()), QPoint(10, 0), QPoint(0, 10),
                                  QPoint(4, 4), QPoint(r.right() - 4, r.bottom() - 4)})
            EXPECT_TRUE(mask.contains(edge)) << edge.x() << "," << edge.y();
    };
    showNotice();
    expectCut("notice");
    showList(12);
    expectCut("list");
    QTest::keyClick(window.get(), Qt::Key_Right);
    ASSERT_TRUE(spinUntil([&] { return view()->scrollView() != nullptr; }));
    expectCut("expanded");

    composited = true;
    showNotice();
    EXPECT_TRUE(window->mask().isEmpty());
}

// Up to ten rows (nine for the digits and one more, as a syllable's page and its "더 보기") show
// whole, none of them below a scroll's edge.
TEST_F(PanelWindowFixture, UpToTenRowsExpandInPlaceWithoutAScrollView)
{
    for (const int n : {5, 10}) {
        SCOPED_TRACE(n);
        showList(n);
        QTest::mouseClick(view()->moreRow(), Qt::LeftButton);
        ASSERT_TRUE(spinUntil([&] { return view()->rows().size() == n; }));
        EXPECT_EQ(view()->scrollView(), nullptr);
        EXPECT_EQ(view()->moreRow(), nullptr);
        ASSERT_TRUE(spinUntil([&] { return frameSize() == view()->sizeHint(); })) << "the window follows the taller list";
    }
    EXPECT_TRUE(picks.isEmpty());
}

TEST_F(PanelWindowFixture, KeysReachTheModel)
{
    showList(5);
    EXPECT_TRUE(window->isVisible());
    QTest::keyClick(window.get(), Qt::Key_4);
    EXPECT_TRUE(picks.isEmpty()) << "a digit past the shown rows expands";
    EXPECT_TRUE(panel.model().expanded());
    QTest::keyClick(window.get(), Qt::Key_4);
    ASSERT_EQ(picks.size(), 1);
    EXPECT_EQ(picks[0], qMakePair(QStringLiteral("首都4"), false));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr) << "the grabs end with the panel";
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);

    showList(3);
    QTest::keyClick(window.get(), Qt::Key_2, Qt::AltModifier);
    EXPECT_EQ(picks.last(), qMakePair(QStringLiteral("首都2"), true)) << "Alt copies";

    showList(3);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(picks.size(), 2);

    showList(3);
    QTest::keyClick(window.get(), Qt::Key_2, Qt::KeypadModifier);
    EXPECT_FALSE(window->isVisible()) << "keypad digits are not pick keys";
    EXPECT_EQ(picks.size(), 2);
}

TEST_F(PanelWindowFixture, ClicksPickAtOnceAndHoverFollowsThePointer)
{
    showList(3);
    CandidateRowWidget* second = view()->rows().at(1);
    QTest::mouseClick(second, Qt::LeftButton);
    ASSERT_EQ(picks.size(), 1);
    EXPECT_EQ(picks[0].first, QStringLiteral("首都2"));
    EXPECT_FALSE(window->isVisible());

    showList(3);
    fake->keyPoster->holdModifiers(ModifierFlag::option);
    QTest::mouseClick(view()->rows().at(0), Qt::LeftButton);
    fake->keyPoster->releaseModifiers();
    EXPECT_EQ(picks.last(), qMakePair(QStringLiteral("首都1"), true)) << "a click reads the modifiers held";

    // Hover follows the pointer, as the window routes it while it holds the grab.
    showList(3);
    CandidateRowWidget* first = view()->rows().at(0);
    view()->hoverAt(first->mapToGlobal(first->rect().center()));
    EXPECT_TRUE(first->isHovered());
    EXPECT_FALSE(view()->rows().at(1)->isHovered());
}

TEST(QtKeys, positionsOfTheKeysThePanelReads)
{
    const auto code = [](int key, Qt::KeyboardModifiers mods = {}) {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        return QtKeys::keyCode(e);
    };
    // Plain digits, letters and modifiers are KeysReachTheModel's and the recorder's.
    EXPECT_EQ(code(Qt::Key_At, Qt::ShiftModifier), CandidatePanel::digitKeys[1]) << "Shift+2 is still the 2 key";
    EXPECT_EQ(code(Qt::Key_1, Qt::KeypadModifier), 83);
    EXPECT_EQ(code(Qt::Key_Enter, Qt::KeypadModifier), KeyCode::keypadEnter);
    EXPECT_EQ(code(Qt::Key_Return), KeyCode::returnKey);
}
