// The language-file reader and writer on arbitrary file bytes, with lookups of texts from the
// input: a file that is read gives one entry a line; a lookup never gives a text shorter than
// the one asked for; saving keeps every entry with a text and the file's encoding, so the file
// reads back with as many entries; a file that was refused as no language file is never written.
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "fuzz/fuzzinput.h"
#include "fuzz/fuzztempdir.h"
#include "platform/textfile.h"
#include "ui/languagetranslator.h"
#include "ui/translist.h"

namespace {

int EntryCount(const pd::ui::TTransListe& entries, bool withSourceOnly)
{
    int count = 0;
    for (const pd::ui::TTransWort* e = entries.First(); e != nullptr; e = e->Next)
        count += !withSourceOnly || !e->Source.isEmpty();
    return count;
}

pd::ui::TLanguageTranslator LoadedTranslator(const QString& path)
{
    pd::ui::TLanguageTranslator translator;
    translator.setDatei(path);
    translator.setDotranslate(true);
    translator.Load();
    return translator;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    pd::fuzz::Input input(data, size);
    static const QString alphabet = QString::fromUtf8("ab &:~ #13#38\r\n\xC3\xA4\xE2\x82\xAC");
    QStringList texts;
    for (int count = input.Range(0, 4); count > 0; --count)
        texts.append(input.Text(alphabet, 16));
    const QByteArray bytes = input.Rest();
    const QString path = pd::fuzz::TempPath(QStringLiteral("0407.lng"));
    pd::fuzz::PutFile(path, bytes);

    pd::ui::TLanguageTranslator translator = LoadedTranslator(path);
    const pd::platform::DecodedText decoded = pd::platform::DecodeText(bytes);
    if (translator.Loaded())
        FUZZ_CHECK(EntryCount(translator.Entries(), false) == pd::platform::SplitLines(decoded.text).size());
    for (const QString& text : texts) {
        QString t = pd::ui::EncodeText(text);
        const qsizetype width = t.size();
        FUZZ_CHECK(translator.Lookup(t).size() >= width);
    }

    translator.Save();
    const QByteArray saved = pd::fuzz::FileBytes(path);
    if (!translator.Loaded()) {
        FUZZ_CHECK(saved == bytes);
        return 0;
    }
    const int kept = EntryCount(translator.Entries(), true);
    // The file keeps its encoding; only code-page text that would begin like a byte-order mark
    // (its lines without a text are not written) goes into UTF-8 with a mark, to read back as it is.
    const pd::platform::TextEncoding savedEncoding = pd::platform::DecodeText(saved).encoding;
    FUZZ_CHECK(savedEncoding == decoded.encoding
        || (decoded.encoding == pd::platform::TextEncoding::Ansi
            && savedEncoding == pd::platform::TextEncoding::Utf8Bom));
    pd::ui::TLanguageTranslator reread = LoadedTranslator(path);
    FUZZ_CHECK(reread.Loaded());
    FUZZ_CHECK(EntryCount(reread.Entries(), false) == kept);
    return 0;
}
