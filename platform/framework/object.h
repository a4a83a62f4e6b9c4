#pragma once
// Root of the framework's polymorphic classes. Its virtual slots come first
// in every derived class: the run-time class query, then the destructor.

class CObject {
 public:
  // The class's name; nothing in the program branches on it.
  virtual const char* GetRuntimeClass() const = 0;
  virtual ~CObject() = default;

 protected:
  CObject() = default;
  CObject(const CObject&) = default;
  CObject& operator=(const CObject&) = default;
};
