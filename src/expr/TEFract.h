// Fixed-point fraction leaf and the fraction encoding: a two's-complement fraction
// of whole bytes, most significant first, whose first bit is the sign.
#pragma once

#include <cstdint>

#include "expr/OrbaExpression.h"

class TEFract : public OrbaExpression {
 public:
  class fract_value {
   public:
    // Encodes the value, saturating at the ends of the range (encodeFraction).
    fract_value(double value, int32_t bits);
    // The low bytes of the integer, most significant first.
    fract_value(int64_t value, int32_t bits);
    // A copy of the bytes.
    fract_value(const uint8_t* bytes, int32_t bits);
    fract_value(const fract_value& other);
    fract_value& operator=(const fract_value&) = delete;
    virtual ~fract_value();

    const uint8_t* bytes() const { return bytes_; }
    int32_t bits() const { return bits_; }
    int32_t byteCount() const { return (bits_ + 7) / 8; }
    // The bytes read as a big-endian unsigned number (low 64 bits).
    int64_t code() const;
    // The first bit weighs -1, the following ones 1/2, 1/4 ...
    double toDouble() const;

   private:
    void allocate(int32_t bits);
    uint8_t* bytes_ = nullptr;
    int32_t bits_ = 0;
  };

  TEFract(double value, int32_t bits) : value_(value, bits) {}
  TEFract(int64_t value, int32_t bits) : value_(value, bits) {}
  TEFract(const uint8_t* bytes, int32_t bits) : value_(bytes, bits) {}
  explicit TEFract(const fract_value& value) : value_(value) {}

  const fract_value& fraction() const { return value_; }

  bool isValue() const override { return true; }
  int64_t getInteger() const override { return value_.code(); }
  double getDouble() const override { return value_.toDouble(); }
  const uint8_t* getFract() const override { return value_.bytes(); }
  uint32_t getKind() const override { return EK_fract; }
  void print(std::ostream& out, unsigned mode) const override;
  OrbaExpression* evaluate() override { return this; }
  uint32_t getUnit() const override { return 1; }
  OrbaExpression* clone() override { return new TEFract(value_); }
  ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error) override;

 private:
  fract_value value_;
};

// Encodes value as a fraction of bits bits into bytes, which holds (bits + 7) / 8 bytes.
void encodeFraction(uint8_t* bytes, double value, int32_t bits);
