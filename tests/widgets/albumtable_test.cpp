#include "bundle.h"
#include "log.h"
#include "ovpiktoalbumlist.h"
#include "ovpiktoalbumslistcontroller.h"
#include "qzutils.h"
#include "screenshot.h"
#include "vbgimagecell.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A page that counts the down-arrow events its children pass on.
class Page : public QWidget {
public:
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys += event->key() == Qt::Key_Down; }
    void keyReleaseEvent(QKeyEvent* event) override { keys += event->key() == Qt::Key_Down; }
};

OvPiktoAlbum album(const QString& id, const QString& name, int count, bool locked = false) {
    return OvPiktoAlbum(name, QStringLiteral("about ") + name, count, locked, id);
}

class AlbumTable : public ::testing::Test {
protected:
    void SetUp() override {
        Bundle::registerLoaded(QStringLiteral(OVPIKTO_TEST_BUNDLE));
        table = new OvPiktoAlbumList(&page);
        table->setGeometry(0, 0, 320, 160);
        controller.setTable(table);
        controller.awakeFromNib();
        page.resize(320, 160);
    }

    QStringList cells(int row) const {
        QStringList texts;
        for (int column = 0; column < 2; ++column)
            texts.append(table->model()->index(row, column).data().toString());
        return texts;
    }
    QList<int> selectedRows() const {
        QList<int> rows;
        for (const QModelIndex& index : table->selectionModel()->selectedRows())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    Page page;
    OvPiktoAlbumList* table = nullptr;
    OvPiktoAlbumsListController controller;
};

// Draws `image` through the cell into a transparent canvas the size of `frame`.
QImage drawCell(const QImage& image, const QRect& frame, const QSize& canvasSize) {
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), image, Qt::DecorationRole);
    QImage canvas(canvasSize, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    QStyleOptionViewItem option;
    option.rect = frame;
    VBGImageCell().paint(&painter, option, model.index(0, 0));
    painter.end();
    return canvas;
}

bool isClear(const QImage& canvas, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (canvas.pixelColor(x, y).alpha() != 0)
                return false;
    return true;
}

} // namespace

TEST_F(AlbumTable, NilAndEmptyListsShowNoRowsAndTheFirstListSetsTheSortSelector) {
    page.show();
    EXPECT_FALSE(controller.albums().has_value());
    EXPECT_EQ(table->model()->rowCount(), 0);
    EXPECT_TRUE(controller.columnSortSelector().isEmpty());

    controller.setAlbums(std::nullopt);
    EXPECT_TRUE(controller.columnSortSelector().isEmpty());

    controller.setAlbums(QList<OvPiktoAlbum>{});
    ASSERT_TRUE(controller.albums().has_value());
    EXPECT_EQ(table->model()->rowCount(), 0);
    EXPECT_EQ(controller.numberOfRowsInTableView(), 0);
    EXPECT_EQ(controller.columnSortSelector(), QStringLiteral("nameComparisonDesc:"));

    controller.setAlbums(QList{album(QStringLiteral("1"), QStringLiteral("B"), 1)});
    EXPECT_EQ(table->model()->rowCount(), 1);
    controller.setAlbums(std::nullopt);
    EXPECT_FALSE(controller.albums().has_value());
    EXPECT_EQ(table->model()->rowCount(), 0);
    EXPECT_EQ(controller.columnSortSelector(), QStringLiteral("nameComparisonDesc:"));
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("albums-empty")));
}

TEST_F(AlbumTable, RowsKeepTheServiceOrderWithPlainCountsAndTheIconForLockedAlbums) {
    QLocale::setDefault(QLocale(QLocale::Russian)); // would group digits if a locale were used
    controller.setAlbums(QList{
        album(QStringLiteral("7"), QStringLiteral("Море"), 1234567, true),
        album(QStringLiteral("3"), QStringLiteral("Alpha"), 0),
        OvPiktoAlbum(),
    });
    QLocale::setDefault(QLocale::c());
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));

    EXPECT_EQ(cells(0), (QStringList{QStringLiteral("Море"), QStringLiteral("1234567")}));
    EXPECT_EQ(cells(1), (QStringList{QStringLiteral("Alpha"), QStringLiteral("0")}));
    // The placeholder of an account without albums is an ordinary row.
    EXPECT_EQ(cells(2), (QStringList{QString(), QStringLiteral("0")}));

    const QImage friends = QZUtils::loadPngImageFromResource(QStringLiteral("i-friends.png"));
    ASSERT_FALSE(friends.isNull());
    const QVariant icon = table->model()->index(0, 2).data(Qt::DecorationRole);
    ASSERT_EQ(icon.typeId(), QMetaType::QImage);
    EXPECT_EQ(icon.value<QImage>(), friends);
    EXPECT_FALSE(table->model()->index(1, 2).data(Qt::DecorationRole).isValid());
    EXPECT_FALSE(table->model()->index(2, 2).data(Qt::DecorationRole).isValid());
    EXPECT_FALSE(table->model()->index(0, 2).data(Qt::DisplayRole).isValid());

    // Columns by identifier: a text without a leading number reads as 0.
    EXPECT_EQ(controller.objectValueForTableColumn(QStringLiteral("name"), 1).toString(),
              QStringLiteral("Alpha"));
    EXPECT_EQ(controller.objectValueForTableColumn(QStringLiteral("1"), 0).toString(),
              QStringLiteral("1234567"));
    EXPECT_FALSE(controller.objectValueForTableColumn(QStringLiteral("3"), 0).isValid());
    EXPECT_FALSE(controller.objectValueForTableColumn(QStringLiteral("0"), 3).isValid());
    EXPECT_FALSE(controller.shouldEditTableColumn(QStringLiteral("0"), 0));
    EXPECT_FALSE(table->model()->flags(table->model()->index(0, 0)) & Qt::ItemIsEditable);

    // Asking the table to sort changes nothing.
    table->sortByColumn(0, Qt::AscendingOrder);
    EXPECT_EQ(cells(1).first(), QStringLiteral("Alpha"));
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("albums-list")));
}

TEST_F(AlbumTable, SelectByIdTakesTheFirstMatchReplacesTheSelectionAndLogs) {
    controller.setAlbums(QList{
        album(QStringLiteral("10"), QStringLiteral("A"), 1),
        album(QStringLiteral("20"), QStringLiteral("B"), 2),
        album(QStringLiteral("20"), QStringLiteral("B copy"), 3),
        album(QStringLiteral("30"), QStringLiteral("C"), 4),
    });
    page.show();
    table->selectionModel()->select(table->model()->index(0, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table->selectionModel()->select(table->model()->index(3, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(selectedRows(), (QList<int>{0, 3}));

    QStringList lines;
    const Log::Sink previous = Log::setSink([&lines](const QString& line) { lines.append(line); });
    controller.selectAlbumByID(QStringLiteral("20"));
    EXPECT_EQ(selectedRows(), (QList<int>{1}));
    EXPECT_EQ(lines, (QStringList{QStringLiteral("selectAlbumByID: Entered"),
                                  QStringLiteral("currAlbumID: 10, albumID: 20"),
                                  QStringLiteral("currAlbumID: 20, albumID: 20")}));
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("albums-selected")));

    lines.clear();
    controller.selectAlbumByID(QStringLiteral("99"));
    Log::setSink(previous);
    EXPECT_EQ(selectedRows(), (QList<int>{1}));
    EXPECT_EQ(lines.size(), 5);
    EXPECT_EQ(lines.last(), QStringLiteral("currAlbumID: 30, albumID: 99"));
}

TEST_F(AlbumTable, AReloadKeepsTheSelectedRowWhileItExists) {
    controller.setAlbums(QList{album(QStringLiteral("1"), QStringLiteral("A"), 1),
                               album(QStringLiteral("2"), QStringLiteral("B"), 2)});
    page.show();
    table->selectRow(1);
    controller.setAlbums(QList{album(QStringLiteral("1"), QStringLiteral("A"), 1),
                               album(QStringLiteral("2"), QStringLiteral("B"), 5)});
    EXPECT_EQ(selectedRows(), (QList<int>{1}));
    EXPECT_EQ(cells(1).last(), QStringLiteral("5"));
    controller.setAlbums(QList{album(QStringLiteral("1"), QStringLiteral("A"), 1)});
    EXPECT_TRUE(selectedRows().isEmpty());
}

TEST_F(AlbumTable, ControlDownSendsTheShowAlbumActionOnceEvenWithoutASelection) {
    QPushButton receiver;
    int shown = 0;
    QObject::connect(&receiver, &QPushButton::clicked, [&shown] { ++shown; });
    table->setShowAlbumSelector(QStringLiteral("click"), &receiver);
    controller.setAlbums(QList{album(QStringLiteral("1"), QStringLiteral("A"), 1),
                               album(QStringLiteral("2"), QStringLiteral("B"), 2)});
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
    table->setFocus();
    ASSERT_TRUE(table->selectionModel()->selectedRows().isEmpty());

    QTest::keyPress(table, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(shown, 1);
    QTest::keyRelease(table, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(page.keys, 0);
    EXPECT_TRUE(table->selectionModel()->selectedRows().isEmpty());

    // The plain arrow moves the selection as in any table and sends nothing.
    table->selectRow(0);
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(selectedRows(), (QList<int>{1}));
    EXPECT_EQ(shown, 1);
    QTest::keyClick(table, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(selectedRows(), (QList<int>{1}));
    EXPECT_TRUE(saveScreenshot(page, QStringLiteral("albums-keyboard")));
}

TEST(ImageCell, TwentyBySixteenFrameDrawsTheIconSixteenSquareTwoFromTheLeft) {
    Bundle::registerLoaded(QStringLiteral(OVPIKTO_TEST_BUNDLE));
    const QImage friends = QZUtils::loadPngImageFromResource(QStringLiteral("i-friends.png"))
                               .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(friends.size(), QSize(16, 16));
    const QImage canvas = drawCell(friends, QRect(0, 0, 20, 16), QSize(20, 16))
                              .convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(canvas.copy(2, 0, 16, 16), friends);
    EXPECT_TRUE(isClear(canvas, QRect(0, 0, 2, 16)));
    EXPECT_TRUE(isClear(canvas, QRect(18, 0, 2, 16)));
    EXPECT_TRUE(saveScreenshot(canvas.scaled(200, 160), QStringLiteral("image-cell-20x16")));
}

TEST(ImageCell, LargeImagesAreScaledIntoTheCentredSquare) {
    QImage solid(40, 40, QImage::Format_ARGB32);
    solid.fill(QColor(255, 0, 0));
    struct Case {
        QRect frame;
        QRect square;
    };
    const Case cases[] = {
        {QRect(0, 0, 20, 16), QRect(2, 0, 16, 16)},
        {QRect(0, 0, 16, 20), QRect(0, 2, 16, 16)},
        {QRect(10, 4, 30, 10), QRect(20, 4, 10, 10)},
    };
    for (const Case& c : cases) {
        const QImage canvas = drawCell(solid, c.frame, QSize(48, 32));
        int painted = 0;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const bool inside = c.square.contains(x, y);
                const QColor pixel = canvas.pixelColor(x, y);
                if (inside)
                    EXPECT_EQ(pixel, QColor(255, 0, 0)) << x << "," << y;
                else
                    EXPECT_EQ(pixel.alpha(), 0) << x << "," << y;
                painted += inside ? 1 : 0;
            }
        }
        EXPECT_EQ(painted, c.square.width() * c.square.height());
    }
}
