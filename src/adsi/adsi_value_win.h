#pragma once
// One value of a directory attribute in the platform's own record, owned or
// borrowed, and the ordered list of values that a row or a read produces.

#include "adsi/adsi_api_win.h"

class ADSI_EXPORT CADSIValue {
 public:
  CADSIValue();
  virtual ~CADSIValue();
  // An owned value must have one owner.
  CADSIValue(const CADSIValue&) = delete;
  CADSIValue& operator=(const CADSIValue&) = delete;

  // Releases owned data (nothing when attached) and empties the value.
  HRESULT Delete();
  // Borrows the record as it is; nothing is copied or released.
  HRESULT Attach(ADSVALUE* value);
  // A deep copy that this object owns.
  HRESULT Copy(ADSVALUE* value);

  ADSTYPE GetType() const { return m_val.dwType; }
  ADSVALUE* GetValue() { return &m_val; }
  bool IsAttached() const { return m_attached; }

  // On failure the target is left as it was.
  HRESULT GetValueAsString(_bstr_t& text);
  // A new block (release with delete[]) and its length.
  HRESULT GetValueAsBinary(unsigned char*& bytes, unsigned int& count);
  HRESULT GetValueAsInteger(long& number);

  // Only on an owned value.
  HRESULT SetType(ADSTYPE type);
  HRESULT SetValueAsString(wchar_t* text);

 private:
  static HRESULT DateTimeToString(_bstr_t& text, const SYSTEMTIME* time);
  static HRESULT NumberToString(_bstr_t& text, LONGLONG number);
  static HRESULT BinaryToString(_bstr_t& text, const unsigned char* bytes, DWORD count);
  static LONGLONG StringToNumber(const wchar_t* text);
  HRESULT Unsupported(const char* operation) const;

  bool m_attached;
  ADSVALUE m_val;
};

class ADSI_EXPORT CADSIValues {
 public:
  CADSIValues();
  virtual ~CADSIValues();
  // Owning the nodes, the list is not copied.
  CADSIValues(const CADSIValues&) = delete;
  CADSIValues& operator=(const CADSIValues&) = delete;

  HRESULT AddTail(CADSIValue& value);
  HRESULT AddTail(ADSVALUE* value);
  HRESULT Delete();
  HRESULT GetFirst(CADSIValue*& value);
  HRESULT GetNext(CADSIValue*& value);
  HRESULT GetAt(unsigned int index, CADSIValue*& value);
  HRESULT GetCount(unsigned long& count);
  // Moves every node of `other` to the end of this list; `other` is left empty.
  HRESULT Concat(CADSIValues& other);

 private:
  struct Node;
  Node* m_head;
  Node* m_tail;
  Node* m_cursor;
};
