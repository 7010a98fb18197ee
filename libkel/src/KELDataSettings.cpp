/* System settings (USB storage, new-student notice) and the shell's theme settings. */
#include "KELData.h"

#include "KELDataIO.h"

namespace LibKELData {

namespace {
/* Without a settings file nothing is restricted and no notice pops up. */
const int DEFAULT_USB_STORAGE_ENABLED = 1;
const int DEFAULT_NEW_STUDENT_DIALOG = 0;
} // namespace

CKELSystemSettingData::CKELSystemSettingData()
    : m_USBStorageEnabled(DEFAULT_USB_STORAGE_ENABLED)
    , m_NewStudentDialog(DEFAULT_NEW_STUDENT_DIALOG)
{
}

int CKELSystemSettingData::IsEqual(const CKELSystemSettingData& other) const
{
    /* Values are compared as stored: a file value of 2 differs from the 0 a page writes back. */
    return m_USBStorageEnabled == other.m_USBStorageEnabled && m_NewStudentDialog == other.m_NewStudentDialog;
}

void CKELSystemSettingData::Clear()
{
    m_USBStorageEnabled = DEFAULT_USB_STORAGE_ENABLED;
    m_NewStudentDialog = DEFAULT_NEW_STUDENT_DIALOG;
}

long long CKELSystemSettingData::MaxFileSize() const
{
    return 64 * 1024;
}

const char* CKELSystemSettingData::RootElementName() const
{
    return "KELSystemSetting";
}

int CKELSystemSettingData::ReadElement(_xmlNode* root)
{
    io::ReadOptionalInt(root, "usbStorageEnabled", m_USBStorageEnabled);
    io::ReadOptionalInt(root, "newStudentConnectDialog", m_NewStudentDialog);
    return KEL_OK;
}

int CKELSystemSettingData::WriteElements(_xmlTextWriter* writer) const
{
    int rc = io::WriteIntAttr(writer, "usbStorageEnabled", m_USBStorageEnabled);
    if (rc == KEL_OK)
        rc = io::WriteIntAttr(writer, "newStudentConnectDialog", m_NewStudentDialog);
    return rc;
}

CKELThemeData::CKELThemeData()
{
}

void CKELThemeData::Clear()
{
    m_Theme.clear();
    m_Font.clear();
    m_Background.clear();
}

long long CKELThemeData::MaxFileSize() const
{
    return 64 * 1024;
}

const char* CKELThemeData::RootElementName() const
{
    return "KELTheme";
}

int CKELThemeData::ReadElement(_xmlNode* root)
{
    io::GetAttr(root, "theme", m_Theme);
    io::GetAttr(root, "font", m_Font);
    io::GetAttr(root, "background", m_Background);
    return KEL_OK;
}

int CKELThemeData::WriteElements(_xmlTextWriter* writer) const
{
    int rc;
    if ((rc = io::WriteAttr(writer, "theme", m_Theme)) != KEL_OK ||
        (rc = io::WriteAttr(writer, "font", m_Font)) != KEL_OK ||
        (rc = io::WriteAttr(writer, "background", m_Background)) != KEL_OK)
        return rc;
    return KEL_OK;
}

} // namespace LibKELData
