#pragma once
// A descriptor of a descriptor loop: tag, length and, in subclasses, decoded fields. Every
// tag without a class of its own is a bare CDVBDescriptor.
#include "core/CDVBByteReader.h"
#include "core/CSmallBlockCache.h"
#include "platform/CString.h"
#include "platform/LUMTypes.h"

class CDVBDescriptor : public CSmallBlockCache::Object   // made and dropped by the thousand
{
public:
    CDVBDescriptor() = default;
    CDVBDescriptor(const CDVBDescriptor&) = delete;
    CDVBDescriptor& operator=(const CDVBDescriptor&) = delete;
    virtual ~CDVBDescriptor() = default;

    // Decodes the payload, the descriptor_length bytes after the length (m_tag and
    // m_length are set before the call). False when a field does not fit; what was read
    // before it stays.
    virtual bool Parse(CDVBByteReader payload);
    CDVBDescriptor* Clone() const;
    virtual void CopyFrom(const CDVBDescriptor* source);

    // A new object of the class for `tag`; the caller sets m_tag and m_length.
    static CDVBDescriptor* CreateDescriptor(BYTE tag);

    BYTE m_tag = 0;
    BYTE m_length = 0;

protected:
    // `count` bytes appended to `text` as they are, or as many as there are: false then.
    static bool ReadFixedText(CDVBByteReader& reader, BYTE count, CString& text);
    // A length byte, then ReadFixedText of that many.
    static bool ReadCountedText(CDVBByteReader& reader, BYTE& lengthOut, CString& text);
};
