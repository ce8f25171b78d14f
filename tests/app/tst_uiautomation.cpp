// The window as a screen reader on Windows reads it, through UI Automation:
// the 100 program boxes by their captions, each checked where there is no
// station start file, and CLEAR ALL invoked as a screen reader's user would.
// tst_accessibility reads it so on Linux.
#include "catalogue.h"
#include "platform.h"
#include "texts.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#ifdef LARKSPUR_UIA_CLIENT
#include <uiautomation.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;
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
        ComPtr<IUIAutomationCondition> all;
        ComPtr<IUIAutomationElementArray> found;
        int count = 0;
        if (FAILED(m_automation->CreateTrueCondition(all.GetAddressOf())) ||
            FAILED(window->FindAll(TreeScope_Descendants, all.Get(), found.GetAddressOf())) ||
            FAILED(found->get_Length(&count)))
            return;
        for (int i = 0; i < count; ++i) {
            ComPtr<IUIAutomationElement> element;
            CONTROLTYPEID type = 0;
            BSTR name = nullptr;
            if (FAILED(found->GetElement(i, element.GetAddressOf())) ||
                FAILED(element->get_CurrentControlType(&type)) ||
                FAILED(element->get_CurrentName(&name)))
                continue;
            const QString text = QString::fromWCharArray(name);
            SysFreeString(name);
            visit(element.Get(), type, text);
        }
    }

    // The program boxes' captions; and each one's state, "1" when checked,
    // "0" when not, or the failure that kept its toggle pattern from it.
    QStringList boxes(IUIAutomationElement* window, QStringList* states = nullptr) const {
        QStringList captions;
        forEachElement(window, [&](IUIAutomationElement* box, CONTROLTYPEID type,
                                   const QString& name) {
            if (type != UIA_CheckBoxControlTypeId)
                return;
            captions << name;
            if (!states)
                return;
            ComPtr<IUIAutomationTogglePattern> toggle;
            ToggleState state = ToggleState_Indeterminate;
            const HRESULT read =
                box->GetCurrentPatternAs(UIA_TogglePatternId, IID_PPV_ARGS(toggle.GetAddressOf()));
            if (FAILED(read) || !toggle.Get())
                *states << QString::number(quint32(read), 16);
            else if (SUCCEEDED(toggle->get_CurrentToggleState(&state)))
                *states << (state == ToggleState_On ? "1" : "0");
        });
        return captions;
    }

    QStringList states(IUIAutomationElement* window) const {
        QStringList states;
        boxes(window, &states);
        return states;
    }

    bool invoke(IUIAutomationElement* window, const QString& caption) const {
        bool invoked = false;
        forEachElement(window,
                       [&](IUIAutomationElement* button, CONTROLTYPEID type, const QString& name) {
                           ComPtr<IUIAutomationInvokePattern> invoker;
                           if (!invoked && type == UIA_ButtonControlTypeId && name == caption &&
                               SUCCEEDED(button->GetCurrentPatternAs(
                                   UIA_InvokePatternId, IID_PPV_ARGS(invoker.GetAddressOf()))) &&
                               invoker.Get())
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
        const auto closed = qScopeGuard([&] {
            PostMessageW(handle, WM_CLOSE, 0, 0);
            larkspur.waitForFinished(20000);
        });
        ComPtr<IUIAutomationElement> window;
        QVERIFY(SUCCEEDED(m_automation->ElementFromHandle(handle, window.GetAddressOf())) &&
                window.Get());
        QStringList captions;
        for (const CatalogueEntry& entry : programCatalogue)
            captions << toQString(entry.caption);
        // A walk of the window takes Wine tens of seconds.
        QTRY_COMPARE_WITH_TIMEOUT(boxes(window.Get()), captions, 60000);
        const QString notImplemented = QString::number(quint32(E_NOTIMPL), 16);
        if (!wineVersion().isEmpty() && states(window.Get()).startsWith(notImplemented))
            QSKIP("Wine's UI Automation client has no control patterns yet (E_NOTIMPL): the "
                  "boxes' captions were read, their states and CLEAR ALL only Windows gives");
        QCOMPARE(states(window.Get()), QStringList(captions.size(), "1"));
        QVERIFY(invoke(window.Get(), QStringLiteral("CLEAR ALL")));
        QTRY_COMPARE(states(window.Get()), QStringList(captions.size(), "0"));
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
