#pragma once
// A descriptor of a descriptor loop: tag, length and, in subclasses, decoded fields. Every
// tag without a class of its own is a bare CDVBDescriptor.
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

    // Decodes `m_length` payload bytes (set before the call).
    virtual bool Parse(const BYTE* payload);
    CDVBDescriptor* Clone() const;
    virtual void CopyFrom(const CDVBDescriptor* source);

    // A new object of the class for `tag`; the caller sets m_tag and m_length.
    static CDVBDescriptor* CreateDescriptor(BYTE tag);

    // A length byte, then that many bytes appended to `text` as they are. False when the
    // bytes run out; what was read stays.
    static bool ReadCountedText(const BYTE*& cursor, BYTE& remaining, BYTE& lengthOut, CString& text);
    static bool ReadFixedText(const BYTE*& cursor, BYTE& remaining, BYTE count, CString& text);

    BYTE m_tag = 0;
    BYTE m_length = 0;
};
