// The module's resources, read back from the built DLL through the platform's own loaders: what
// a browser, a setup tool or the dialog code will actually find in the binary.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "resources/resource.h"
#include "support/ProductDll.h"

namespace {

const WORD kKorean = MAKELANGID(LANG_KOREAN, SUBLANG_DEFAULT);

std::string DllPath()
{
    return productdll::Path();
}

// ---------------------------------------------------------------------------------------------
// Dialog templates, parsed by hand from the classic DLGTEMPLATE layout.

// A "sz_Or_Ord" field: nothing, an ordinal (a predefined class atom), or a text.
struct NameOrOrdinal {
    enum Kind { None, Ordinal, Text } kind = None;
    WORD ordinal = 0;
    std::wstring text;

    bool operator==(const NameOrOrdinal& o) const {
        return kind == o.kind && ordinal == o.ordinal && text == o.text;
    }
};

NameOrOrdinal Atom(WORD atom) { return {NameOrOrdinal::Ordinal, atom, {}}; }
NameOrOrdinal Name(const wchar_t* text) { return {NameOrOrdinal::Text, 0, text}; }

void PrintTo(const NameOrOrdinal& v, std::ostream* os) {
    switch (v.kind) {
    case NameOrOrdinal::None: *os << "(none)"; break;
    case NameOrOrdinal::Ordinal: *os << "atom 0x" << std::hex << v.ordinal << std::dec; break;
    case NameOrOrdinal::Text: *os << "text " << ::testing::PrintToString(v.text); break;
    }
}

struct DialogItem {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    WORD id;
    NameOrOrdinal windowClass;
    std::wstring title;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal windowClass;
    std::wstring title;
    WORD pointSize = 0;
    std::wstring face;
    std::vector<DialogItem> items;
};

// Reads the template with bounds checks; any overrun marks the reader bad instead of reading on.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}

    bool Bad() const { return m_bad; }

    WORD Word() {
        WORD w = 0;
        Copy(&w, sizeof w);
        return w;
    }
    DWORD Dword() {
        DWORD d = 0;
        Copy(&d, sizeof d);
        return d;
    }
    short Short() { return static_cast<short>(Word()); }

    std::wstring Text() {
        std::wstring s;
        for (WORD c = Word(); c != 0 && !m_bad; c = Word()) s += static_cast<wchar_t>(c);
        return s;
    }

    NameOrOrdinal NameOrOrd() {
        NameOrOrdinal v;
        WORD first = Word();
        if (first == 0x0000) return v;
        if (first == 0xFFFF) {
            v.kind = NameOrOrdinal::Ordinal;
            v.ordinal = Word();
            return v;
        }
        m_pos -= sizeof(WORD);
        v.kind = NameOrOrdinal::Text;
        v.text = Text();
        return v;
    }

    // Items start on DWORD boundaries counted from the start of the template.
    void AlignDword() { m_pos = (m_pos + 3) & ~size_t{3}; }
    void Skip(size_t n) {
        if (n > m_size - m_pos) m_bad = true;
        else m_pos += n;
    }

private:
    void Copy(void* out, size_t n) {
        if (m_bad || n > m_size - m_pos) {
            m_bad = true;
            return;
        }
        std::memcpy(out, m_data + m_pos, n);
        m_pos += n;
    }

    const BYTE* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_bad = false;
};

// Fails the test (and returns false) when the template is not a well-formed classic DLGTEMPLATE.
bool ParseDialog(const BYTE* data, size_t size, DialogTemplate& out) {
    TemplateReader r(data, size);
    out.style = r.Dword();
    // DLGTEMPLATEEX starts with dlgVer 1 and signature 0xFFFF; these templates must be classic.
    if (LOWORD(out.style) == 1 && HIWORD(out.style) == 0xFFFF) {
        ADD_FAILURE() << "template is DLGTEMPLATEEX, expected the classic DLGTEMPLATE";
        return false;
    }
    out.exStyle = r.Dword();
    WORD count = r.Word();
    out.x = r.Short();
    out.y = r.Short();
    out.cx = r.Short();
    out.cy = r.Short();
    out.menu = r.NameOrOrd();
    out.windowClass = r.NameOrOrd();
    out.title = r.Text();
    if (out.style & DS_SETFONT) {
        out.pointSize = r.Word();
        out.face = r.Text();
    }
    for (WORD i = 0; i < count && !r.Bad(); ++i) {
        r.AlignDword();
        DialogItem item;
        item.style = r.Dword();
        item.exStyle = r.Dword();
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.id = r.Word();
        item.windowClass = r.NameOrOrd();
        NameOrOrdinal title = r.NameOrOrd();
        EXPECT_NE(title.kind, NameOrOrdinal::Ordinal) << "item " << i << " has an ordinal title";
        item.title = title.text;
        r.Skip(r.Word());  // creation data
        out.items.push_back(item);
    }
    if (r.Bad()) {
        ADD_FAILURE() << "template runs past the end of its resource (" << size << " bytes)";
        return false;
    }
    return true;
}

struct ExpectedDialog {
    WORD id;
    const char* name;
    DialogTemplate layout;
};

const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

const std::vector<ExpectedDialog>& ExpectedDialogs() {
    static const std::vector<ExpectedDialog> dialogs = {
        {IDD_INSTALL, "IDD_INSTALL",
         {kDialogStyle, 0, 0, 0, 62, 25, {}, {}, L"qxChecker", 8, L"굴림", {}}},
        {IDD_DOWNLOAD, "IDD_DOWNLOAD",
         {kDialogStyle, 0, 0, 0, 215, 94, {}, {}, L"File Download...", 8, L"MS Sans Serif",
          {
              {0x50010000, 0, 157, 43, 42, 14, IDCANCEL, Atom(0x0080), L"Cancel"},
              {0x50800000, 0, 13, 25, 187, 9, IDC_DOWNLOAD_PROGRESS, Name(L"msctls_progress32"),
               L"Progress1"},
              {0x50020002, 0, 144, 71, 56, 10, IDC_DOWNLOAD_SIZE, Atom(0x0082), L""},
              {0x50020000, 0, 15, 6, 186, 15, IDC_DOWNLOAD_TEXT, Atom(0x0082), L""},
          }}},
    };
    return dialogs;
}

// ---------------------------------------------------------------------------------------------
// The version resource as a tree of nodes: key, text or binary value, children.

struct VersionNode {
    std::wstring key;
    WORD type = 0;
    std::wstring text;
    std::vector<BYTE> binary;
    std::vector<VersionNode> children;
};

bool ParseVersionNode(const BYTE* data, size_t begin, size_t limit, VersionNode& out) {
    auto align = [begin](size_t pos) { return begin + ((pos - begin + 3) & ~size_t{3}); };
    if (limit - begin < 6) return false;
    WORD length, valueLength;
    std::memcpy(&length, data + begin, 2);
    std::memcpy(&valueLength, data + begin + 2, 2);
    std::memcpy(&out.type, data + begin + 4, 2);
    if (length < 6 || length > limit - begin) return false;
    const size_t end = begin + length;
    size_t pos = begin + 6;
    for (;;) {
        if (pos + 2 > end) return false;
        WORD c;
        std::memcpy(&c, data + pos, 2);
        pos += 2;
        if (c == 0) break;
        out.key += static_cast<wchar_t>(c);
    }
    pos = align(pos);
    const size_t valueBytes = out.type == 1 ? valueLength * 2u : valueLength;
    if (valueBytes > end - std::min(pos, end)) return false;
    if (out.type == 1) {
        for (size_t i = 0; i < valueLength; ++i) {
            WORD c;
            std::memcpy(&c, data + pos + 2 * i, 2);
            if (c == 0) break;
            out.text += static_cast<wchar_t>(c);
        }
    } else {
        out.binary.assign(data + pos, data + pos + valueBytes);
    }
    pos = align(pos + valueBytes);
    while (pos < end) {
        VersionNode child;
        if (!ParseVersionNode(data, pos, end, child)) return false;
        WORD childLength;
        std::memcpy(&childLength, data + pos, 2);
        out.children.push_back(child);
        pos = align(pos + childLength);
    }
    return true;
}

std::vector<std::wstring> Keys(const VersionNode& node) {
    std::vector<std::wstring> keys;
    for (const VersionNode& child : node.children) keys.push_back(child.key);
    return keys;
}

// ---------------------------------------------------------------------------------------------

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dll.Reset(::LoadLibraryExA(DllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_dll) << DllPath() << ": error " << ::GetLastError();
    }

    // The raw bytes of one Korean resource of the DLL; empty when it is missing.
    std::vector<BYTE> KoreanResource(LPCSTR type, WORD id) {
        HRSRC info = ::FindResourceExA(m_dll.Get(), type, MAKEINTRESOURCEA(id), kKorean);
        if (!info) return {};
        HGLOBAL loaded = ::LoadResource(m_dll.Get(), info);
        const BYTE* data = static_cast<const BYTE*>(::LockResource(loaded));
        if (!data) return {};
        return {data, data + ::SizeofResource(m_dll.Get(), info)};
    }

    UniqueLibrary m_dll;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::set<WORD>*>(param)->insert(language);
    return TRUE;
}

// Each resource exists once, in Korean only: a second language (windres tags 0x409 when the
// LANGUAGE statement is missing) would be chosen by the loader on some systems and not others.
TEST_F(ResourceTest, EachResourceIsKoreanOnly) {
    struct Row {
        LPCSTR type;
        WORD id;
        const char* what;
    };
    const Row rows[] = {
        {RT_DIALOG, IDD_INSTALL, "dialog IDD_INSTALL"},
        {RT_DIALOG, IDD_DOWNLOAD, "dialog IDD_DOWNLOAD"},
        {RT_STRING, IDS_PROJNAME / 16 + 1, "string block of IDS_PROJNAME"},
        {RT_VERSION, VS_VERSION_INFO, "version block"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_NE(::FindResourceExA(m_dll.Get(), row.type, MAKEINTRESOURCEA(row.id), kKorean), nullptr);
        std::set<WORD> languages;
        ::EnumResourceLanguagesA(m_dll.Get(), row.type, MAKEINTRESOURCEA(row.id), CollectLanguage,
                                 reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::set<WORD>{kKorean});
    }
}

TEST_F(ResourceTest, ProjectNameString) {
    char text[64] = {};
    int length = ::LoadStringA(m_dll.Get(), IDS_PROJNAME, text, sizeof text);
    EXPECT_EQ(length, 9);
    EXPECT_STREQ(text, "qxChecker");
}

TEST_F(ResourceTest, DialogTemplatesMatchTheirLayout) {
    for (const ExpectedDialog& expected : ExpectedDialogs()) {
        SCOPED_TRACE(expected.name);
        std::vector<BYTE> bytes = KoreanResource(RT_DIALOG, expected.id);
        ASSERT_FALSE(bytes.empty());
        DialogTemplate actual;
        if (!ParseDialog(bytes.data(), bytes.size(), actual)) continue;

        const DialogTemplate& want = expected.layout;
        EXPECT_EQ(actual.style, want.style) << std::hex << "style 0x" << actual.style;
        EXPECT_EQ(actual.exStyle, 0u);
        EXPECT_EQ(actual.x, want.x);
        EXPECT_EQ(actual.y, want.y);
        EXPECT_EQ(actual.cx, want.cx);
        EXPECT_EQ(actual.cy, want.cy);
        EXPECT_EQ(actual.menu, NameOrOrdinal{});
        EXPECT_EQ(actual.windowClass, NameOrOrdinal{});
        EXPECT_EQ(actual.title, want.title);
        EXPECT_EQ(actual.pointSize, want.pointSize);
        EXPECT_EQ(actual.face, want.face);

        ASSERT_EQ(actual.items.size(), want.items.size());
        for (size_t i = 0; i < want.items.size(); ++i) {
            const DialogItem& a = actual.items[i];
            const DialogItem& w = want.items[i];
            SCOPED_TRACE("item " + std::to_string(i) + ", id " + std::to_string(w.id));
            EXPECT_EQ(a.id, w.id);
            EXPECT_EQ(a.style, w.style) << std::hex << "style 0x" << a.style;
            EXPECT_EQ(a.exStyle, 0u);
            EXPECT_EQ(a.x, w.x);
            EXPECT_EQ(a.y, w.y);
            EXPECT_EQ(a.cx, w.cx);
            EXPECT_EQ(a.cy, w.cy);
            EXPECT_EQ(a.windowClass, w.windowClass);
            EXPECT_EQ(a.title, w.title);
        }
    }
}

// The dialog code creates its windows from the module that runs it; in the test program that is
// the program itself.
TEST(ResourceInProcessTest, DialogsAreInTheTestProgram) {
    HMODULE self = ::GetModuleHandleA(nullptr);
    EXPECT_NE(::FindResourceA(self, MAKEINTRESOURCEA(IDD_DOWNLOAD), RT_DIALOG), nullptr);
    EXPECT_NE(::FindResourceA(self, MAKEINTRESOURCEA(IDD_INSTALL), RT_DIALOG), nullptr);
}

// ---------------------------------------------------------------------------------------------
// The version block as the platform's version API reports it.

class ResourceVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        DWORD ignored = 0;
        DWORD size = ::GetFileVersionInfoSizeA(DllPath().c_str(), &ignored);
        ASSERT_NE(size, 0u) << "error " << ::GetLastError();
        m_block.resize(size);
        ASSERT_TRUE(::GetFileVersionInfoA(DllPath().c_str(), 0, size, m_block.data()));
    }

    // The value at `path`, or null with `length` 0 when the block has none.
    const void* Query(const char* path, UINT& length) {
        void* value = nullptr;
        length = 0;
        if (!::VerQueryValueA(m_block.data(), path, &value, &length)) return nullptr;
        return value;
    }

    std::vector<BYTE> m_block;
};

TEST_F(ResourceVersionTest, FixedPart) {
    UINT length = 0;
    auto fixed = static_cast<const VS_FIXEDFILEINFO*>(Query("\\", length));
    ASSERT_NE(fixed, nullptr);
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000009u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000009u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
}

// "OLESelfRegister" counts by its presence: setup tools register a DLL that has it.
TEST_F(ResourceVersionTest, StringValues) {
    const struct {
        const char* name;
        const char* value;
    } rows[] = {
        {"FileVersion", "1, 0, 0, 9"},
        {"ProductVersion", "1, 0, 0, 9"},
        {"InternalName", "qxChecker"},
        {"OriginalFilename", "qxChecker.DLL"},
        {"OLESelfRegister", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = std::string("\\StringFileInfo\\040904b0\\") + row.name;
        UINT length = 0;
        auto value = static_cast<const char*>(Query(path.c_str(), length));
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(std::string(value, strnlen(value, length)), row.value);
    }
}

TEST_F(ResourceVersionTest, TranslationIsUsEnglishUnicode) {
    UINT length = 0;
    auto translation = static_cast<const WORD*>(Query("\\VarFileInfo\\Translation", length));
    ASSERT_NE(translation, nullptr);
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);
}

// Nothing beyond the listed entries: a template's CompanyName or FileDescription, or a second
// string table, would show up in every file property sheet.
TEST_F(ResourceTest, VersionBlockHoldsOnlyTheListedEntries) {
    std::vector<BYTE> bytes = KoreanResource(RT_VERSION, VS_VERSION_INFO);
    ASSERT_FALSE(bytes.empty());
    VersionNode root;
    ASSERT_TRUE(ParseVersionNode(bytes.data(), 0, bytes.size(), root));
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    using KeyList = std::vector<std::wstring>;
    ASSERT_EQ(Keys(root), (KeyList{L"StringFileInfo", L"VarFileInfo"}));

    const VersionNode& strings = root.children[0];
    ASSERT_EQ(Keys(strings), KeyList{L"040904b0"});
    std::map<std::wstring, std::wstring> values;
    for (const VersionNode& entry : strings.children[0].children) {
        EXPECT_EQ(entry.type, 1) << "not a text value";
        values[entry.key] = entry.text;
    }
    const std::map<std::wstring, std::wstring> expected = {
        {L"FileVersion", L"1, 0, 0, 9"},
        {L"ProductVersion", L"1, 0, 0, 9"},
        {L"InternalName", L"qxChecker"},
        {L"OriginalFilename", L"qxChecker.DLL"},
        {L"OLESelfRegister", L""},
    };
    EXPECT_EQ(values, expected);

    EXPECT_EQ(Keys(root.children[1]), KeyList{L"Translation"});
}

}  // namespace
