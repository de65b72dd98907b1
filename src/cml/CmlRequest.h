// CCmlRequest: the base of every request class. Adds need-reply, which a reader assumes true
// when the attribute is absent.
#pragma once

#include "cml/CmlMessageBase.h"

namespace zav::cml {

class CCmlRequest : public CMessageBase {
public:
    CCmlRequest() = default;
    CCmlRequest(std::wstring tagName, std::wstring namespaceURI, std::wstring schemaVersion,
                bool needReply = true);
    CCmlRequest(const CCmlRequest&) = default;
    CCmlRequest& operator=(const CCmlRequest&) = default;

    using CMessageBase::Assign;
    ~CCmlRequest() override;
    CCmlDocumentBase* Clone() const override;
    // need reply := the attribute need-reply is not exactly "false".
    void Deserialize(const CCmlDOM_Element& element) override;
    // need-reply='false' when false; need-reply='true' only with the default-values switch on.
    void SerializeAttributes(std::wostream& os) const override;
    void SerializeAttributes(std::ostream& os) const override;

    virtual void Assign(const CCmlRequest& other);
    virtual bool GetNeedReply() const { return m_bNeedReply; }
    virtual void SetNeedReply(bool needReply) { m_bNeedReply = needReply; }

private:
    template <class Stream>
    void WriteAttributes(Stream& os) const;

    bool m_bNeedReply = true;
};

}  // namespace zav::cml
