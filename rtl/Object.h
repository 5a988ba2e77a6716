// Root classes of the runtime: TObject, TComponent and Exception.
#pragma once

#include <exception>
#include <string>
#include <vector>

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  // The dynamic class name, as declared ("TWSocket", "ESocketException").
  std::string ClassName() const;
};

enum TComponentStateFlag : unsigned { csDestroying = 1u << 0 };

// Owner/owned relationship: an owner frees what it owns when it is destroyed.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const { return FComponents.at(static_cast<size_t>(Index)); }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& value) { FName = value; }
  unsigned ComponentState() const { return FComponentState; }

  // Sets the being-destroyed mark. Derived destructors call it first, so that
  // everything they run while tearing down can see the mark.
  void Destroying() { FComponentState |= csDestroying; }
  bool IsDestroying() const { return (FComponentState & csDestroying) != 0; }

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

 private:
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::string FName;
  unsigned FComponentState = 0;
};

// The runtime's plain exception class: a message and nothing more.
class Exception : public std::exception, public TObject {
 public:
  explicit Exception(std::string Msg) : FMessage(std::move(Msg)) {}
  Exception(const Exception& other) : std::exception(other), TObject(), FMessage(other.FMessage) {}
  const std::string& Message() const { return FMessage; }
  void SetMessage(const std::string& value) { FMessage = value; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// Raised by the text-to-integer conversion.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Raised by lists for a bad index.
class EListError : public Exception {
 public:
  using Exception::Exception;
};
