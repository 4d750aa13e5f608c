// The window itself: geometry in twips, captions that fit, the fixed size, hidden controls, Tab order, the
// check boxes, the language lists and the conversation pane.
#include "UiFixture.h"
#include "WaitUntil.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextBlock>
#include <QTextFragment>

namespace {

struct Placement {
    const char* name;
    bool inFrame;
    int left, top, width, height; // twips
};

void PrintTo(const Placement& p, std::ostream* os)
{
    *os << p.name;
}

const Placement kPlacements[] = {
    {"Frame2", false, 120, 120, 5415, 5175},
    {"Text1", true, 120, 240, 5175, 4815},
    {"Command2", true, 4080, 4920, 855, 255},
    {"Label1", true, 4560, 0, 735, 255},
    {"lblFrom", false, 0, 5400, 1260, 255},
    {"comFrom", false, 1320, 5400, 1215, 315},
    {"lblTo", false, 2670, 5400, 1530, 195},
    {"comLan", false, 4320, 5400, 1215, 315},
    {"lblLanFrom", false, 120, 5880, 1575, 255},
    {"txtInput", false, 1680, 5880, 3855, 285},
    {"UseTr", false, 240, 6240, 2535, 195},
    {"TimeStamp", false, 3000, 6240, 1335, 195},
    {"Command1", false, 4680, 6240, 855, 255},
    {"cmdTrans", false, 3840, 7920, 1455, 255},
};

class Geometry : public UiFixture, public ::testing::WithParamInterface<Placement>
{
};

TEST_P(Geometry, FifteenTwipsAPixel)
{
    const Placement& p = GetParam();
    frmVerbolt window(services());
    auto* control = window.findChild<QWidget*>(QLatin1String(p.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget(), p.inFrame ? static_cast<QWidget*>(window.Frame2) : &window);
    EXPECT_EQ(control->geometry(), QRect(p.left / 15, p.top / 15, p.width / 15, p.height / 15));
}

INSTANTIATE_TEST_SUITE_P(Controls, Geometry, ::testing::ValuesIn(kPlacements), CaseName());

TEST_F(UiFixture, WindowCannotBeEnlargedSoHiddenControlsStayOutOfSight)
{
    ASSERT_TRUE(start());
    window->show();
    EXPECT_EQ(window->size(), QSize(379, 439));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

    window->resize(800, 900);
    window->showMaximized();
    waitUntil([&] { return !window->isMaximized() && window->size() == QSize(379, 439); });

    EXPECT_EQ(window->size(), QSize(379, 439));
    EXPECT_FALSE(window->rect().intersects(window->cmdTrans->geometry()));
    EXPECT_GE(window->cmdTrans->y(), 6720 / 15);
}

TEST_F(UiFixture, CaptionsFitTheirControls)
{
    frmVerbolt window(services());
    for (QLabel* label : {window.Label1, window.lblFrom, window.lblTo, window.lblLanFrom}) {
        const QFontMetrics metrics(label->font());
        // Trailing spaces may run off the edge; the letters may not.
        const QString letters = label->text().trimmed();
        const int start = metrics.horizontalAdvance(label->text().left(label->text().indexOf(letters)));
        EXPECT_LE(start + metrics.horizontalAdvance(letters), label->width()) << label->objectName().toStdString();
        EXPECT_LE(metrics.height(), label->height()) << label->objectName().toStdString();
    }
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{window.UseTr, window.TimeStamp}) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text().trimmed();
        const QRect textRect = button->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, button);
        const QFontMetrics metrics(button->font());
        EXPECT_LE(textRect.left() + metrics.horizontalAdvance(option.text), button->width())
            << button->objectName().toStdString();
        EXPECT_LE(metrics.height(), button->height() + 2) << button->objectName().toStdString();
    }
    for (QPushButton* button : {window.Command1, window.Command2, window.cmdTrans}) {
        EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 4, button->width())
            << button->objectName().toStdString();
    }
    // The frame's caption ends before the callsign label that shares its top edge.
    const QFontMetrics metrics(window.Frame2->font());
    EXPECT_LT(8 + metrics.horizontalAdvance(window.Frame2->title().trimmed()), window.Label1->x());
}

TEST_F(UiFixture, FontsAreTheSystemSansFaceAtTheFormsSizes)
{
    frmVerbolt window(services());
    const QString face = QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family();
    const std::tuple<QWidget*, qreal, bool> fonts[] = {
        {window.Text1, 9.75, false},
        {window.lblLanFrom, 9.75, true},
        {window.lblFrom, 8.25, false},
        {window.comLan, 8.25, false},
        {window.txtInput, 8.25, false},
        {window.UseTr, 8.25, false},
        {window.Command1, 8.25, false},
        {window.cmdTrans, 8.25, false},
        {window.Frame2, 8.25, false},
    };
    for (const auto& [control, points, bold] : fonts) {
        EXPECT_EQ(QFontInfo(control->font()).family(), face) << control->objectName().toStdString();
        EXPECT_EQ(control->font().pointSizeF(), points) << control->objectName().toStdString();
        EXPECT_EQ(control->font().bold(), bold) << control->objectName().toStdString();
    }
}

struct Caption {
    const char* name;
    QString text;
    QString toolTip;
};

TEST_F(UiFixture, CaptionsAndToolTips)
{
    const Caption captions[] = {
        {"Command2", "Borra", "Cleare the text screen"},
        {"Label1", "  N0CALL  ", ""},
        {"lblFrom", "Traducci\u00f3n de :", ""},
        {"lblTo", "<<>>  Traducci\u00f3n a:", ""},
        {"lblLanFrom", "* Mensaje\u00b4s ", ""},
        {"UseTr", "Mostrar ambos textos...       ", "Show both Un-Translated / Translated text"},
        {"TimeStamp", "A\u00f1adir la Hora ", "Time Stamp Messages in and out"},
        {"Command1", " OK ", "Save changed data"},
        {"cmdTrans", "Translate", ""},
        {"Text1", "", "Text Message Screen"},
        {"comFrom", "", "Translate Text From"},
        {"comLan", "", "Translate Text To"},
        {"txtInput", "", "Enter text to be sent and press return"},
    };
    frmVerbolt window(services());
    EXPECT_EQ(window.Frame2->title(), QStringLiteral("*** Texto Traducido v\u00eda Echolink ***          "));
    for (const Caption& c : captions) {
        auto* control = window.findChild<QWidget*>(QLatin1String(c.name));
        ASSERT_NE(control, nullptr) << c.name;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(control))
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            text = button->text();
        EXPECT_EQ(text, c.text) << c.name;
        EXPECT_EQ(control->toolTip(), c.toolTip) << c.name;
    }
    EXPECT_EQ(window.Label1->text().size(), 10);
}

TEST_F(UiFixture, TabOrder)
{
    ASSERT_TRUE(start());
    window->show();
    window->activateWindow();
    window->txtInput->setFocus();
    QStringList order{window->focusWidget()->objectName()};
    for (int i = 0; i < 9; ++i) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QCoreApplication::sendEvent(window->focusWidget(), &tab);
        QWidget* focused = window->focusWidget();
        // An editable list takes the focus through its text field.
        while (focused && focused->objectName().isEmpty())
            focused = focused->parentWidget();
        order.append(focused ? focused->objectName() : QStringLiteral("?"));
    }
    EXPECT_EQ(order,
        (QStringList{"txtInput", "cmdTrans", "comLan", "comFrom", "TimeStamp", "UseTr", "Text1", "Command2", "Command1",
            "txtInput"}));
}

TEST_F(UiFixture, ClickTogglesOnlyBetweenZeroAndOne)
{
    frmVerbolt window(services());
    const std::pair<int, int> clicks[] = {{0, 1}, {1, 0}, {2, 1}};
    for (const auto& [before, after] : clicks) {
        window.UseTr->setValue(before);
        window.UseTr->click();
        EXPECT_EQ(window.UseTr->value(), after) << before;
    }
    window.UseTr->setValue(2);
    EXPECT_EQ(window.UseTr->checkState(), Qt::PartiallyChecked);
}

TEST_F(UiFixture, LanguageListsKeepTheirOrderAndFillingReplaces)
{
    ASSERT_TRUE(start());
    window->FillLanguages(window->comFrom);
    window->FillLanguages(window->comLan);
    window->FillLanguages(window->comLan);

    QStringList from, to;
    for (int i = 0; i < window->comFrom->count(); ++i)
        from.append(window->comFrom->itemText(i));
    for (int i = 0; i < window->comLan->count(); ++i)
        to.append(window->comLan->itemText(i));
    ASSERT_EQ(from.size(), 23);
    ASSERT_EQ(to.size(), 23);
    EXPECT_EQ(from.indexOf(QStringLiteral("Espa\u00f1ol")), 21);
    EXPECT_EQ(to.indexOf(QStringLiteral("Espa\u00f1ol")), 6);
    EXPECT_EQ(to.at(5), QStringLiteral("English"));
    QStringList sorted = from;
    sorted.sort(Qt::CaseInsensitive);
    EXPECT_EQ(to, sorted);
    EXPECT_EQ(window->comLan->currentText(), QString());
    EXPECT_EQ(window->comLan->currentIndex(), -1);
}

TEST_F(UiFixture, TypingInAListNeitherCompletesNorAdds)
{
    ASSERT_TRUE(start());
    window->comLan->setEditText(QString());
    window->comLan->setFocus();
    for (const QChar c : QStringLiteral("Por")) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(window->comLan->lineEdit(), &key);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(window->comLan->lineEdit(), &enter);

    EXPECT_EQ(window->comLan->currentText(), QStringLiteral("Por"));
    EXPECT_EQ(window->comLan->count(), 23);
}

TEST_F(UiFixture, PaneShowsPlainTextAndEveryLineEndOnce)
{
    frmVerbolt window(services());
    const QString model = QStringLiteral("<b>bold?</b> <img src=\"x.png\">\r\na\r\r\nb\rc\nd\r\n");
    window.Text1->appendText(model.left(32));
    window.Text1->appendText(model.mid(32));

    EXPECT_EQ(window.Text1->text(), model);
    EXPECT_EQ(window.Text1->toPlainText(), QStringLiteral("<b>bold?</b> <img src=\"x.png\">\na\nb\nc\nd\n"));
    for (QTextBlock block = window.Text1->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            EXPECT_FALSE(it.fragment().charFormat().isImageFormat());
            EXPECT_NE(it.fragment().charFormat().fontWeight(), QFont::Bold);
        }
    }
    EXPECT_TRUE(window.Text1->isReadOnly());
}

TEST_F(UiFixture, BorraEmptiesThePaneOnly)
{
    translate = [](const QString&) { return QStringLiteral("hallo"); };
    startWith(QStringLiteral("English"), QStringLiteral("German"));
    window->show();
    window->txtInput->setText(QStringLiteral("hello"));
    pressEnter();
    settle();
    ASSERT_FALSE(window->Text1->text().isEmpty());
    window->Command1->setFocus();

    window->Command2->click();
    EXPECT_EQ(window->Text1->text(), QString());
    EXPECT_EQ(window->Text1->toPlainText(), QString());
    EXPECT_EQ(window->focusWidget(), window->txtInput);

    window->Command2->click();
    EXPECT_EQ(window->Text1->text(), QString());
    EXPECT_EQ(window->Callsign, QStringLiteral("EA1XYZ"));
}

TEST_F(UiFixture, Screenshot)
{
    // VERBOLT_SCREENSHOT=<file.png> saves the window as the operator sees it after a short conversation.
    translate = [](const QString& text) {
        return text == u"(14:05) Hello, how are you?" ? QStringLiteral("(14:05) Hola, \u00bfc\u00f3mo est\u00e1s?")
                                                      : QStringLiteral("(14:05) EA1XYZ<< I am fine, thanks");
    };
    startWith(QStringLiteral("English"), QStringLiteral("Espa\u00f1ol"), 1, 1);
    window->show();
    window->txtInput->setText(QStringLiteral("Hello, how are you?"));
    pressEnter();
    host->receive(QStringLiteral("EA1XYZ>Estoy bien, gracias"));
    settle();
    window->txtInput->setText(QStringLiteral("Nice to hear"));
    QCoreApplication::processEvents();

    const QImage image = window->grab().toImage();
    EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(379, 439));
    const QString path = qEnvironmentVariable("VERBOLT_SCREENSHOT");
    if (!path.isEmpty()) {
        EXPECT_TRUE(image.save(path));
    }
}

} // namespace
