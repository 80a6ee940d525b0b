// The Fresco class itself: defaults, copies and moves, setters, the private
// callback callers and the error guard.
#include "test_access.h"

#include "errorguard.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <QDir>
#define NOMINMAX
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <memory>
#include <stdexcept>

namespace {

using Access = FrescoTestAccess;

struct Calls
{
    QStringList errors;
    std::vector<float> percents;
    int finishes = 0;
};

void connect(Fresco &fresco, const std::shared_ptr<Calls> &calls)
{
    fresco.setErrorLog([calls](QString text) { calls->errors.push_back(text); });
    fresco.setPercentCallback([calls](float value) { calls->percents.push_back(value); });
    fresco.setFinishCallback([calls] { ++calls->finishes; });
}

void configure(Fresco &fresco)
{
    fresco.setBackground(3);
    fresco.setResolution(0.05);
    fresco.setSplitLen(250.0);
    fresco.setImageFmt(QStringLiteral(".img"));
    Access::setOutputFolder(fresco, QStringLiteral("/out"));
}

void expectConfigured(const Fresco &fresco)
{
    EXPECT_EQ(Access::background(fresco), 3);
    EXPECT_DOUBLE_EQ(Access::resolution(fresco), 0.05);
    EXPECT_DOUBLE_EQ(Access::splitLen(fresco), 250.0);
    EXPECT_EQ(Access::imageFmt(fresco), QStringLiteral(".img"));
    EXPECT_EQ(Access::outputFolder(fresco), QStringLiteral("/out"));
}

// Drives all three callbacks of `fresco` once.
void fireAll(Fresco &fresco, const QString &text)
{
    Access::errorLog(fresco, text);
    Access::percent(fresco, 12.5f);
    Access::finish(fresco);
}

TEST(FrescoClass, DefaultsAndProcessWideRenderIndex)
{
    const Fresco fresco;
    EXPECT_TRUE(Access::outputFolder(fresco).isEmpty());
    EXPECT_EQ(Access::imageFmt(fresco), QStringLiteral(".tif"));
    EXPECT_EQ(Access::background(fresco), 0);
    EXPECT_DOUBLE_EQ(Access::resolution(fresco), 0.2);
    EXPECT_DOUBLE_EQ(Access::splitLen(fresco), 0.0);
    EXPECT_FALSE(Access::hasPercent(fresco));
    EXPECT_FALSE(Access::hasFinish(fresco));
    EXPECT_FALSE(Access::hasError(fresco));
    EXPECT_EQ(Access::supersample(fresco), 1);
    EXPECT_FALSE(Access::targetAligned(fresco));
}

TEST(FrescoClass, ImageFormatKeepsOnlyExactTifOrImg)
{
    Fresco fresco;
    const std::pair<QString, QString> cases[] = {
        {".img", ".img"}, {".tif", ".tif"}, {".IMG", ".tif"}, {".TIF", ".tif"},
        {".png", ".tif"}, {"", ".tif"},     {"img", ".tif"},  {".img ", ".tif"},
    };
    for (const auto &c : cases) {
        fresco.setImageFmt(c.first);
        EXPECT_EQ(Access::imageFmt(fresco), c.second) << c.first.toStdString();
    }
}

TEST(FrescoClass, CallersDoNothingWithoutCallbacks)
{
    Fresco fresco;
    fireAll(fresco, QStringLiteral("lost"));

    auto calls = std::make_shared<Calls>();
    connect(fresco, calls);
    fireAll(fresco, QStringLiteral("read file failed: x"));
    EXPECT_EQ(calls->errors, QStringList{QStringLiteral("read file failed: x")});
    EXPECT_EQ(calls->percents, std::vector<float>{12.5f});
    EXPECT_EQ(calls->finishes, 1);

    // Replacing a callback drops the earlier one.
    auto later = std::make_shared<Calls>();
    fresco.setErrorLog([later](QString text) { later->errors.push_back(text); });
    Access::errorLog(fresco, QStringLiteral("second"));
    EXPECT_EQ(calls->errors.size(), 1);
    EXPECT_EQ(later->errors, QStringList{QStringLiteral("second")});
}

TEST(FrescoClass, CopiesCarryAllMembersIncludingCallbacks)
{
    auto calls = std::make_shared<Calls>();
    Fresco original;
    configure(original);
    connect(original, calls);

    Fresco copy(original);
    expectConfigured(copy);
    fireAll(copy, QStringLiteral("from copy"));
    EXPECT_EQ(calls->errors, QStringList{QStringLiteral("from copy")});
    EXPECT_EQ(calls->finishes, 1);

    // The copy is independent of its source.
    copy.setBackground(0);
    copy.setImageFmt(QStringLiteral(".tif"));
    copy.setErrorLog(nullptr);
    expectConfigured(original);
    EXPECT_TRUE(Access::hasError(original));

    Fresco assigned;
    assigned = original;
    expectConfigured(assigned);
    fireAll(assigned, QStringLiteral("from assigned"));
    EXPECT_EQ(calls->errors.size(), 2);
    EXPECT_EQ(calls->percents.size(), 2u);
}

TEST(FrescoClass, MovesCarryAllMembersIncludingCallbacks)
{
    auto calls = std::make_shared<Calls>();
    Fresco original;
    configure(original);
    connect(original, calls);

    Fresco moved(std::move(original));
    expectConfigured(moved);
    fireAll(moved, QStringLiteral("a"));

    Fresco target;
    target = std::move(moved);
    expectConfigured(target);
    fireAll(target, QStringLiteral("b"));
    EXPECT_EQ(calls->errors, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(calls->finishes, 2);
}

TEST(ErrorGuard, TextNamesSourceAndOperation)
{
    const QString text = fresco::ErrorGuard::reportText(QStringLiteral("Fresco::start"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("unknowed error in: [")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("]-Fresco::start")));
    EXPECT_EQ(text, QStringLiteral("unknowed error in: [fresco/fresco.cpp]-Fresco::start"));
}

TEST(ErrorGuard, ReportsOnlyWhenNotDismissed)
{
    QStringList sent;
    const auto callback = [&sent](QString text) { sent.push_back(text); };
    {
        fresco::ErrorGuard guard(callback, QStringLiteral("Fresco::combiImages"));
        guard.dismiss();
    }
    EXPECT_TRUE(sent.isEmpty());
    {
        fresco::ErrorGuard guard(callback, QStringLiteral("Fresco::combiImages"));
    }
    EXPECT_EQ(sent, QStringList{QStringLiteral(
                        "unknowed error in: [fresco/fresco.cpp]-Fresco::combiImages")});
    {
        fresco::ErrorGuard guard(nullptr, QStringLiteral("Fresco::start"));
    }
    EXPECT_EQ(sent.size(), 1);
}

TEST(ErrorGuard, UsesTheCallbackCopiedAtConstruction)
{
    QStringList first;
    QStringList second;
    std::function<void(QString)> callback = [&first](QString text) { first.push_back(text); };
    {
        fresco::ErrorGuard guard(callback, QStringLiteral("Fresco::start"));
        callback = [&second](QString text) { second.push_back(text); };
    }
    EXPECT_EQ(first.size(), 1);
    EXPECT_TRUE(second.isEmpty());
}

TEST(ErrorGuard, ReportsWhileAnExceptionPassesAndSurvivesThrowingCallback)
{
    QStringList sent;
    EXPECT_THROW(
        {
            fresco::ErrorGuard guard([&sent](QString text) { sent.push_back(text); },
                                     QStringLiteral("Fresco::getOffsetFromXML"));
            throw std::runtime_error("boom");
        },
        std::runtime_error);
    EXPECT_EQ(sent, QStringList{fresco::ErrorGuard::reportText(
                        QStringLiteral("Fresco::getOffsetFromXML"))});

    int calls = 0;
    {
        fresco::ErrorGuard guard(
            [&calls](QString) {
                ++calls;
                throw std::runtime_error("host callback failed");
            },
            QStringLiteral("Fresco::start"));
    }
    EXPECT_EQ(calls, 1);
}

// The library's one public interface is the class; the parts behind it stay
// inside, so a host cannot bind to them by accident.
// The built library, loaded as a host loads it.
class LoadedLibrary
{
public:
    explicit LoadedLibrary(const char *file)
    {
#ifdef _WIN32
        const QString native = QDir::toNativeSeparators(QString::fromLocal8Bit(file));
        m_handle = LoadLibraryW(reinterpret_cast<const wchar_t *>(native.utf16()));
#else
        m_handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
#endif
    }
    ~LoadedLibrary()
    {
#ifdef _WIN32
        if (m_handle)
            FreeLibrary(m_handle);
#else
        if (m_handle)
            dlclose(m_handle);
#endif
    }
    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;

    bool isLoaded() const { return m_handle != nullptr; }
    bool exports(const char *symbol) const
    {
#ifdef _WIN32
        return GetProcAddress(m_handle, symbol) != nullptr;
#else
        return dlsym(m_handle, symbol) != nullptr;
#endif
    }

private:
#ifdef _WIN32
    HMODULE m_handle = nullptr;
#else
    void *m_handle = nullptr;
#endif
};

TEST(FrescoLibrary, ExportsTheClassAndNothingBehindIt)
{
    const LoadedLibrary library(FRESCO_LIBRARY_FILE);
    ASSERT_TRUE(library.isLoaded()) << FRESCO_LIBRARY_FILE;
    EXPECT_TRUE(library.exports("_ZN6FrescoC1Ev"));                  // Fresco::Fresco()
    EXPECT_TRUE(library.exports("_ZN6Fresco5startE11QStringList7QString"));
    EXPECT_TRUE(library.exports("_ZN6Fresco11setImageFmtE7QString"));
    EXPECT_FALSE(library.exports("_ZN6fresco10ErrorGuard10reportTextERK7QString"));
    EXPECT_FALSE(library.exports("_ZN6fresco11OrthoViewer12removeModelsEv"));
    EXPECT_FALSE(library.exports(
        "_ZN6fresco8writeLogERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"));
}

} // namespace
