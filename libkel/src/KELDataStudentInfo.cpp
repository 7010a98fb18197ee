/* The classroom roster known to the teacher's console. */
#include "KELData.h"

#include "KELDataIO.h"

namespace LibKELData {

CStudentInfoData::CStudentInfoData()
{
}

void CStudentInfoData::AddStudent(const std::string& name, const std::string& address)
{
    m_Students.push_back(Student{name, address});
}

void CStudentInfoData::Clear()
{
    m_Students.clear();
}

/* A classroom of a few hundred students takes a few kilobytes; a tree of a file of empty
 * elements costs many times its size, so the roster stays small. */
long long CStudentInfoData::MaxFileSize() const
{
    return 1024 * 1024;
}

const char* CStudentInfoData::RootElementName() const
{
    return "StudentInfo";
}

int CStudentInfoData::ReadElement(_xmlNode* root)
{
    for (xmlNode* child = root->children; child; child = child->next) {
        if (!io::IsElement(child, "Student"))
            continue;
        Student student;
        io::GetAttr(child, "name", student.name);
        io::GetAttr(child, "address", student.address);
        m_Students.push_back(student);
    }
    return KEL_OK;
}

int CStudentInfoData::WriteElements(_xmlTextWriter* writer) const
{
    for (const Student& student : m_Students) {
        int rc;
        if ((rc = io::StartElement(writer, "Student")) != KEL_OK ||
            (rc = io::WriteAttr(writer, "name", student.name)) != KEL_OK ||
            (rc = io::WriteAttr(writer, "address", student.address)) != KEL_OK ||
            (rc = io::EndElement(writer)) != KEL_OK)
            return rc;
    }
    return KEL_OK;
}

} // namespace LibKELData
