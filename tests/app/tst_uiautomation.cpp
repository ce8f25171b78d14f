// The window as a screen reader on Windows reads it, through UI Automation:
// the 100 program boxes by their captions, each checked where there is no
// station start file, and CLEAR ALL invoked as a screen reader's user would.
// tst_accessibility reads it so on Linux.
#include "catalogue.h"
#include "platform.h"
#include "texts.h"

#include <QProcess>
#include <QTest>
#ifdef LARKSPUR_UIA_CLIENT
#include <uiautomation.h>
#endif

#ifdef LARKSPUR_UIA_CLIENT
// Releases the COM object it was given.
template <class T> class Held {
public:
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (m_object)
            m_object->Release();
    }
    T** out() { return &m_object; }
    T* get() const { return m_object; }
    T* operator->() const { return m_object; }

private:
    T* m_object = nullptr;
};
#endif

class TestUiAutomation : public QObject {
    Q_OBJECT

#ifdef LARKSPUR_UIA_CLIENT
    IUIAutomation* m_automation = nullptr;

    // Calls visit(element, control type, name) for each element below the
    // window whose type and name can be read. Found with a true condition and
    // read by each element's own properties, which is all that Wine 10's
    // client implements so far.
    template <class Visit> void forEachElement(IUIAutomationElement* window, Visit visit) const {
        Held<IUIAutomationCondition> all;
        Held<IUIAutomationElementArray> found;
        int count = 0;
        if (FAILED(m_automation->CreateTrueCondition(all.out())) ||
            FAILED(window->FindAll(TreeScope_Descendants, all.get(), found.out())) ||
            FAILED(found->get_Length(&count)))
            return;
        for (int i = 0; i < count; ++i) {
            Held<IUIAutomationElement> element;
            CONTROLTYPEID type = 0;
            BSTR name = nullptr;
            if (FAILED(found->GetElement(i, element.out())) ||
                FAILED(element->get_CurrentControlType(&type)) ||
                FAILED(element->get_CurrentName(&name)))
                continue;
            const QString text = QString::fromWCharArray(name);
            SysFreeString(name);
            visit(element.get(), type, text);
        }
    }

    // Each program box as "caption=1" when it is checked, "caption=0" when not.
    QStringList boxes(IUIAutomationElement* window) const {
        QStringList states;
        forEachElement(window,
                       [&](IUIAutomationElement* box, CONTROLTYPEID type, const QString& name) {
                           if (type != UIA_CheckBoxControlTypeId)
                               return;
                           Held<IUIAutomationTogglePattern> toggle;
                           ToggleState state = ToggleState_Indeterminate;
                           if (SUCCEEDED(box->GetCurrentPatternAs(UIA_TogglePatternId,
                                                                  IID_PPV_ARGS(toggle.out()))) &&
                               toggle.get())
                               toggle->get_CurrentToggleState(&state);
                           states << name + u'=' + (state == ToggleState_On ? u'1' : u'0');
                       });
        return states;
    }

    bool invoke(IUIAutomationElement* window, const QString& caption) const {
        bool invoked = false;
        forEachElement(window,
                       [&](IUIAutomationElement* button, CONTROLTYPEID type, const QString& name) {
                           Held<IUIAutomationInvokePattern> invoker;
                           if (!invoked && type == UIA_ButtonControlTypeId && name == caption &&
                               SUCCEEDED(button->GetCurrentPatternAs(
                                   UIA_InvokePatternId, IID_PPV_ARGS(invoker.out()))) &&
                               invoker.get())
                               invoked = SUCCEEDED(invoker->Invoke());
                       });
        return invoked;
    }
#endif

private slots:
    void initTestCase() {
#ifndef LARKSPUR_UIA_CLIENT
        QSKIP("these MinGW-w64 headers declare no UI Automation client (Debian 13's do, as "
              "MSVC's do)");
#else
        QVERIFY(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        if (FAILED(CoCreateInstance(__uuidof(CUIAutomation), nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&m_automation)))) {
            const char* reason = wineVersion().isEmpty()
                                     ? "this Windows has no UI Automation client"
                                     : "this Wine has no UI Automation client (Wine 10 has one)";
#ifdef LARKSPUR_REQUIRE_UI_AUTOMATION
            QFAIL(reason);
#else
            QSKIP(reason);
#endif
        }
#endif
    }

    void readsTheBoxesAndClearsThem() {
#ifdef LARKSPUR_UIA_CLIENT
        QProcess larkspur;
        larkspur.start(LARKSPUR_PROGRAM, {});
        QVERIFY(larkspur.waitForStarted());
        HWND handle = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((handle = shownWindowOf(larkspur, windowTitle)) != nullptr, 20000);
        IUIAutomationElement* window = nullptr;
        QVERIFY(SUCCEEDED(m_automation->ElementFromHandle(handle, &window)) && window);
        QStringList expected;
        for (const CatalogueEntry& entry : programCatalogue)
            expected << toQString(entry.caption) + "=1";
        QTRY_COMPARE(boxes(window), expected);
        QVERIFY(invoke(window, QStringLiteral("CLEAR ALL")));
        expected.replaceInStrings("=1", "=0");
        QTRY_COMPARE(boxes(window), expected);
        window->Release();
        PostMessageW(handle, WM_CLOSE, 0, 0);
        QVERIFY(larkspur.waitForFinished(20000));
        QCOMPARE(larkspur.exitCode(), 0);
#endif
    }

    void cleanupTestCase() {
#ifdef LARKSPUR_UIA_CLIENT
        if (m_automation)
            m_automation->Release();
        CoUninitialize();
#endif
    }
};

QTEST_GUILESS_MAIN(TestUiAutomation)
#include "tst_uiautomation.moc"
