#include "platform/wia/sanedevicesettings.h"

#include <cmath>
#include <cstring>

#include "platform/wia/sanesession.h"
#include "platform/wia/wialog.h"

namespace pd::platform::wia {

namespace {

using Kind = DeviceSetting::Kind;

Kind KindOf(SANE_Value_Type type)
{
    switch (type) {
    case SANE_TYPE_BOOL:
        return Kind::Bool;
    case SANE_TYPE_INT:
        return Kind::Int;
    case SANE_TYPE_FIXED:
        return Kind::Fixed;
    case SANE_TYPE_STRING:
        return Kind::String;
    case SANE_TYPE_BUTTON:
        return Kind::Button;
    case SANE_TYPE_GROUP:
        break; // a group heads the settings after it and is no setting itself
    }
    throw Error(QStringLiteral("The device describes a setting of unknown type %1").arg(int(type)));
}

QString UnitText(SANE_Unit unit)
{
    switch (unit) {
    case SANE_UNIT_NONE:
    case SANE_UNIT_PIXEL:
        return {};
    case SANE_UNIT_BIT:
        return QStringLiteral("bit");
    case SANE_UNIT_MM:
        return QStringLiteral("mm");
    case SANE_UNIT_DPI:
        return QStringLiteral("dpi");
    case SANE_UNIT_PERCENT:
        return QStringLiteral("%");
    case SANE_UNIT_MICROSECOND:
        return QStringLiteral("µs");
    }
    return {};
}

bool IsNumber(const SANE_Option_Descriptor& option)
{
    return option.type == SANE_TYPE_INT || option.type == SANE_TYPE_FIXED;
}

int ValueCount(const SANE_Option_Descriptor& option)
{
    if (option.type == SANE_TYPE_STRING || option.type == SANE_TYPE_BUTTON)
        return 1;
    return std::max(1, int(option.size / SANE_Int(sizeof(SANE_Word))));
}

void DescribeConstraint(const SANE_Option_Descriptor& option, DeviceSetting& setting)
{
    switch (option.constraint_type) {
    case SANE_CONSTRAINT_NONE:
        return;
    case SANE_CONSTRAINT_RANGE:
        if (IsNumber(option) && option.constraint.range) {
            const SANE_Range& range = *option.constraint.range;
            setting.minimum = WordToNumber(option, range.min);
            setting.maximum = WordToNumber(option, range.max);
            if (range.quant > 0)
                setting.step = WordToNumber(option, range.quant);
        }
        return;
    case SANE_CONSTRAINT_WORD_LIST:
        if (IsNumber(option) && option.constraint.word_list) {
            const SANE_Word* list = option.constraint.word_list;
            for (SANE_Word i = 1; i <= list[0]; ++i)
                setting.numberChoices.append(WordToNumber(option, list[i]));
        }
        return;
    case SANE_CONSTRAINT_STRING_LIST:
        if (option.type == SANE_TYPE_STRING && option.constraint.string_list) {
            for (const SANE_String_Const* value = option.constraint.string_list; *value; ++value)
                setting.stringChoices.append(QString::fromUtf8(*value));
        }
        return;
    }
}

// The current value, for a single value the device lets be read; invalid otherwise.
QVariant ReadValue(SaneSession& session, int index, const SANE_Option_Descriptor& option, int count)
{
    if (!SANE_OPTION_IS_ACTIVE(option.cap) || !(option.cap & SANE_CAP_SOFT_DETECT) || count != 1
        || option.type == SANE_TYPE_BUTTON || option.size <= 0)
        return {};
    QByteArray buffer(option.size, '\0');
    try {
        session.ReadOption(index, buffer.data());
    } catch (const Error& error) {
        // One setting the device will not tell leaves the others readable.
        qCDebug(lcWia).noquote() << error.Message();
        return {};
    }
    SANE_Word word = 0;
    if (option.type != SANE_TYPE_STRING)
        std::memcpy(&word, buffer.constData(), sizeof word);
    if (option.type == SANE_TYPE_BOOL)
        return word != SANE_FALSE;
    if (IsNumber(option))
        return WordToNumber(option, word);
    return QString::fromUtf8(buffer.constData());
}

DeviceSetting Describe(SaneSession& session, int index, const SANE_Option_Descriptor& option, const QString& group)
{
    DeviceSetting setting;
    setting.index = index;
    setting.name = QByteArray(option.name ? option.name : "");
    setting.title = TranslateDeviceText(QByteArray(option.title ? option.title : option.name ? option.name : ""));
    setting.description = TranslateDeviceText(QByteArray(option.desc ? option.desc : ""));
    setting.group = group;
    setting.kind = KindOf(option.type);
    setting.active = SANE_OPTION_IS_ACTIVE(option.cap);
    setting.settable = SANE_OPTION_IS_SETTABLE(option.cap);
    setting.advanced = (option.cap & SANE_CAP_ADVANCED) != 0;
    setting.unit = UnitText(option.unit);
    setting.count = ValueCount(option);
    DescribeConstraint(option, setting);
    setting.value = ReadValue(session, index, option, setting.count);
    return setting;
}

class SaneDeviceSettings : public IDeviceSettings {
public:
    SaneDeviceSettings(std::shared_ptr<SaneSession> session, QString title)
        : m_session(std::move(session))
        , m_title(std::move(title))
    {
    }

    std::vector<DeviceSetting> List() override
    {
        std::vector<DeviceSetting> settings;
        QString group;
        const int count = m_session->OptionCount();
        for (int index = 1; index < count; ++index) {
            const SANE_Option_Descriptor* option = m_session->Descriptor(index);
            if (!option)
                continue;
            if (option->type == SANE_TYPE_GROUP)
                group = TranslateDeviceText(QByteArray(option->title ? option->title : ""));
            else
                settings.push_back(Describe(*m_session, index, *option, group));
        }
        return settings;
    }

    bool Set(int index, const QVariant& value) override
    {
        const SANE_Option_Descriptor* option
            = index > 0 && index < m_session->OptionCount() ? m_session->Descriptor(index) : nullptr;
        if (!option || option->type == SANE_TYPE_GROUP)
            throw Error(QStringLiteral("%1 has no setting %2").arg(m_session->Name()).arg(index));
        const QString what = QLatin1String(option->name) + QLatin1Char('=') + value.toString();
        if (!SANE_OPTION_IS_ACTIVE(option->cap) || !SANE_OPTION_IS_SETTABLE(option->cap))
            throw Error(QStringLiteral("%1 %2 -> the setting cannot be changed now").arg(m_session->Name(), what));
        QByteArray bytes = Encode(*option, value, what);
        const SANE_Int info = m_session->WriteOption(index, bytes.isEmpty() ? nullptr : bytes.data(), what);
        if (info & SANE_INFO_INEXACT)
            qCDebug(lcWia).noquote() << m_session->Name() << what << "taken as the nearest value the device allows";
        return (info & (SANE_INFO_RELOAD_OPTIONS | SANE_INFO_RELOAD_PARAMS)) != 0;
    }

    QString DeviceTitle() override { return m_title; }

private:
    // The value in the option's own bytes; empty for a button.
    QByteArray Encode(const SANE_Option_Descriptor& option, const QVariant& value, const QString& what) const
    {
        const auto refuse = [&](const char* why) {
            return Error(QStringLiteral("%1 %2 -> %3").arg(m_session->Name(), what, QLatin1String(why)));
        };
        if (option.type == SANE_TYPE_BUTTON)
            return {};
        if (option.type == SANE_TYPE_STRING) {
            QByteArray bytes = value.toString().toUtf8();
            if (!value.canConvert<QString>() || bytes.size() >= option.size)
                throw refuse("not a text of this length");
            bytes.resize(option.size, '\0');
            return bytes;
        }
        if (ValueCount(option) != 1)
            throw refuse("a list of values is not set here");
        SANE_Word word = 0;
        if (option.type == SANE_TYPE_BOOL) {
            if (!value.canConvert<bool>())
                throw refuse("not a yes or no");
            word = value.toBool() ? SANE_TRUE : SANE_FALSE;
        } else {
            bool ok = false;
            const double number = value.toDouble(&ok);
            if (!ok || !std::isfinite(number))
                throw refuse("not a number");
            word = ConstrainedWord(option, number);
        }
        return QByteArray(reinterpret_cast<const char*>(&word), sizeof word);
    }

    std::shared_ptr<SaneSession> m_session;
    QString m_title;
};

} // namespace

std::shared_ptr<IDeviceSettings> CreateSaneDeviceSettings(std::shared_ptr<SaneSession> session, QString deviceTitle)
{
    return std::make_shared<SaneDeviceSettings>(std::move(session), std::move(deviceTitle));
}

} // namespace pd::platform::wia
