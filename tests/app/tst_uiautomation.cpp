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

class TestUiAutomation : public QObject {
    Q_OBJECT

#ifdef LARKSPUR_UIA_CLIENT
    IUIAutomation* m_automation = nullptr;

    // Each program box as "caption=1" when it is checked, "caption=0" when not.
    QStringList boxes(IUIAutomationElement* window) const {
        VARIANT checkBox{};
        checkBox.vt = VT_I4;
        checkBox.lVal = UIA_CheckBoxControlTypeId;
        IUIAutomationCondition* condition = nullptr;
        IUIAutomationElementArray* found = nullptr;
        int count = 0;
        QStringList states;
        if (SUCCEEDED(m_automation->CreatePropertyCondition(UIA_ControlTypePropertyId, checkBox,
                                                            &condition)) &&
            SUCCEEDED(window->FindAll(TreeScope_Descendants, condition, &found)) &&
            SUCCEEDED(found->get_Length(&count))) {
            for (int i = 0; i < count; ++i) {
                IUIAutomationElement* box = nullptr;
                IUIAutomationTogglePattern* toggle = nullptr;
                BSTR name = nullptr;
                ToggleState state = ToggleState_Indeterminate;
                found->GetElement(i, &box);
                box->get_CurrentName(&name);
                if (SUCCEEDED(
                        box->GetCurrentPatternAs(UIA_TogglePatternId, IID_PPV_ARGS(&toggle))) &&
                    toggle) {
                    toggle->get_CurrentToggleState(&state);
                    toggle->Release();
                }
                states << QString::fromWCharArray(name) + u'=' +
                              (state == ToggleState_On ? u'1' : u'0');
                SysFreeString(name);
                box->Release();
            }
        }
        if (found)
            found->Release();
        if (condition)
            condition->Release();
        return states;
    }

    bool invoke(IUIAutomationElement* window, const wchar_t* name) const {
        VARIANT caption{};
        caption.vt = VT_BSTR;
        caption.bstrVal = SysAllocString(name);
        IUIAutomationCondition* condition = nullptr;
        IUIAutomationElement* button = nullptr;
        IUIAutomationInvokePattern* invoker = nullptr;
        const bool invoked =
            SUCCEEDED(
                m_automation->CreatePropertyCondition(UIA_NamePropertyId, caption, &condition)) &&
            SUCCEEDED(window->FindFirst(TreeScope_Descendants, condition, &button)) && button &&
            SUCCEEDED(button->GetCurrentPatternAs(UIA_InvokePatternId, IID_PPV_ARGS(&invoker))) &&
            invoker && SUCCEEDED(invoker->Invoke());
        for (IUnknown* object : std::initializer_list<IUnknown*>{invoker, button, condition}) {
            if (object)
                object->Release();
        }
        VariantClear(&caption);
        return invoked;
    }
#endif

private slots:
    void initTestCase() {
        if (!wineVersion().isEmpty())
            QSKIP("Wine has no UI Automation client, and a screen reader's walk of the window "
                  "freezes the program there");
#ifndef LARKSPUR_UIA_CLIENT
        QSKIP("this toolchain's Windows headers declare no UI Automation client (MSVC's do)");
#else
        QVERIFY(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        if (FAILED(CoCreateInstance(__uuidof(CUIAutomation), nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&m_automation))))
            QSKIP("this Windows has no UI Automation client");
#endif
    }

    void readsTheBoxesAndClearsThem() {
#ifdef LARKSPUR_UIA_CLIENT
        QProcess larkspur;
        larkspur.start(LARKSPUR_PROGRAM, {});
        QVERIFY(larkspur.waitForStarted());
        HWND handle = nullptr;
        const std::wstring title = windowTitle.toStdWString();
        QTRY_VERIFY_WITH_TIMEOUT((handle = FindWindowW(nullptr, title.c_str())) != nullptr, 20000);
        IUIAutomationElement* window = nullptr;
        QVERIFY(SUCCEEDED(m_automation->ElementFromHandle(handle, &window)) && window);
        QStringList expected;
        for (const CatalogueEntry& entry : programCatalogue)
            expected << toQString(entry.caption) + "=1";
        QCOMPARE(boxes(window), expected);
        QVERIFY(invoke(window, L"CLEAR ALL"));
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
