// System units: class references, object deletion, unit initialisation order, sets, Assign errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classlib/classes.h"
#include "classlib/set.h"
#include "classlib/system.h"
#include "classlib/units.h"

namespace dashtune {
namespace {

class TShape : public TObject {
 public:
  explicit TShape(int size) : size_(size) {}
  virtual std::string Describe() const { return "shape " + std::to_string(size_); }

 protected:
  int size_;
};

class TSquare : public TShape {
 public:
  using TShape::TShape;
  std::string Describe() const override { return "square " + std::to_string(size_); }
};

class TBlueSquare : public TSquare {
 public:
  using TSquare::TSquare;
};

class TCircle : public TShape {
 public:
  using TShape::TShape;
};

using TShapeClass = TClassOf<TShape, int>;

TEST(ClassReferenceTest, NamesAreTheClassNamesWithoutNamespace) {
  EXPECT_EQ(TClass::Of<TSquare>()->ClassName(), "TSquare");
  TBlueSquare square(1);
  const TObject& object = square;
  EXPECT_EQ(object.ClassName(), "TBlueSquare");
  EXPECT_EQ(TClass::Of<TSquare>(), TClass::Of<TSquare>());
}

TEST(ClassReferenceTest, InheritsFromFollowsDerivation) {
  struct Case {
    const TClass* cls;
    const TClass* ancestor;
    bool expected;
  };
  const Case cases[] = {
      {TClass::Of<TBlueSquare>(), TClass::Of<TSquare>(), true},
      {TClass::Of<TBlueSquare>(), TClass::Of<TShape>(), true},
      {TClass::Of<TBlueSquare>(), TClass::Of<TObject>(), true},
      {TClass::Of<TSquare>(), TClass::Of<TSquare>(), true},
      {TClass::Of<TSquare>(), TClass::Of<TBlueSquare>(), false},
      {TClass::Of<TCircle>(), TClass::Of<TSquare>(), false},
      {TClass::Of<TShape>(), TClass::Of<TPersistent>(), false},
      {TClass::Of<TShape>(), nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.cls->InheritsFrom(c.ancestor), c.expected)
        << c.cls->ClassName() << " / " << (c.ancestor ? c.ancestor->ClassName() : "nil");
  }
  TBlueSquare object(2);
  EXPECT_TRUE(object.InheritsFrom(TClass::Of<TSquare>()));
  EXPECT_FALSE(object.InheritsFrom(TClass::Of<TCircle>()));
}

TEST(ClassReferenceTest, VirtualConstructorMakesTheReferencedClass) {
  std::vector<TShapeClass> classes = {TShapeClass::Of<TShape>(), TShapeClass::Of<TSquare>(),
                                      TShapeClass::Of<TBlueSquare>()};
  std::vector<std::string> made;
  for (const TShapeClass& cls : classes) {
    std::unique_ptr<TShape> shape = cls.Create(7);
    made.push_back(shape->ClassName() + ": " + shape->Describe());
  }
  EXPECT_EQ(made, (std::vector<std::string>{"TShape: shape 7", "TSquare: square 7", "TBlueSquare: square 7"}));
  EXPECT_TRUE(classes[2].InheritsFrom(classes[1]));
  EXPECT_FALSE(classes[1].InheritsFrom(classes[2]));
  EXPECT_FALSE(TShapeClass());
}

// Deleting through TObject runs BeforeDestruction while the object is still complete.
class TTracked : public TObject {
 public:
  explicit TTracked(std::vector<std::string>& log) : log_(log) {}
  ~TTracked() override { log_.push_back("destructor"); }
  void BeforeDestruction() override { log_.push_back("before destruction of " + ClassName()); }

 private:
  std::vector<std::string>& log_;
};

class TTrackedChild : public TTracked {
 public:
  using TTracked::TTracked;
};

TEST(ObjectTest, DeleteRunsBeforeDestructionWithTheFullType) {
  std::vector<std::string> log;
  TObject* object = new TTrackedChild(log);
  delete object;
  EXPECT_EQ(log, (std::vector<std::string>{"before destruction of TTrackedChild", "destructor"}));
  log.clear();
  std::unique_ptr<TTracked> owned = std::make_unique<TTrackedChild>(log);
  owned.reset();
  EXPECT_EQ(log, (std::vector<std::string>{"before destruction of TTrackedChild", "destructor"}));
}

TEST(UnitsTest, InitialisationsRunInOrderAndFinalisationsInReverse) {
  std::vector<std::string> log;
  auto unit = [&log](const std::string& name, int order) {
    RegisterUnit(
        name, order, [&log, name] { log.push_back("init " + name); },
        [&log, name] { log.push_back("final " + name); });
  };
  unit("shell", 70);
  unit("listview", 30);
  unit("png", 40);
  unit("common", 30);  // same order as listview: registration order decides
  InitializeUnits();
  FinalizeUnits();
  EXPECT_EQ(log, (std::vector<std::string>{"init listview", "init common", "init png", "init shell",
                                           "final shell", "final png", "final common", "final listview"}));
}

TEST(UnitsTest, FailingInitialisationStillFinalisesWhatStarted) {
  std::vector<std::string> log;
  RegisterUnit("first", 1, [&log] { log.push_back("init first"); }, [&log] { log.push_back("final first"); });
  RegisterUnit("broken", 2, [] { throw Exception("no start"); }, [&log] { log.push_back("final broken"); });
  RegisterUnit("later", 3, [&log] { log.push_back("init later"); }, [&log] { log.push_back("final later"); });
  EXPECT_THROW(InitializeUnits(), Exception);
  FinalizeUnits();
  EXPECT_EQ(log, (std::vector<std::string>{"init first", "final broken", "final first"}));
  // The unit after the failure was never started and starts with the next initialisation.
  InitializeUnits();
  FinalizeUnits();
  EXPECT_EQ(log.back(), "final later");
}

enum class TColorFlag { cfRed, cfGreen, cfBlue, cfAlpha };
using TColorFlags = Set<TColorFlag>;

TEST(SetTest, SetOperations) {
  TColorFlags warm{TColorFlag::cfRed, TColorFlag::cfAlpha};
  TColorFlags cold{TColorFlag::cfBlue, TColorFlag::cfAlpha};
  EXPECT_EQ(warm + cold, (TColorFlags{TColorFlag::cfRed, TColorFlag::cfBlue, TColorFlag::cfAlpha}));
  EXPECT_EQ(warm - cold, TColorFlags{TColorFlag::cfRed});
  EXPECT_EQ(warm * cold, TColorFlags{TColorFlag::cfAlpha});
  EXPECT_TRUE(TColorFlags{TColorFlag::cfRed} <= warm);
  EXPECT_FALSE(warm <= cold);
  EXPECT_EQ(warm.ToBits(), 0b1001u);
  EXPECT_EQ(TColorFlags::FromBits(0b0110), (TColorFlags{TColorFlag::cfGreen, TColorFlag::cfBlue}));
  TColorFlags flags;
  EXPECT_TRUE(flags.Empty());
  flags.Include(TColorFlag::cfGreen).Include(TColorFlag::cfBlue).Exclude(TColorFlag::cfGreen);
  EXPECT_TRUE(flags.Contains(TColorFlag::cfBlue));
  EXPECT_FALSE(flags.Contains(TColorFlag::cfGreen));
}

TEST(PersistentTest, AssignWithoutSupportRaisesTheAssignmentError) {
  TPersistent target;
  class TOther : public TPersistent {};
  TOther source;
  try {
    target.Assign(&source);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.GetMessage(), "TOther kann nicht zu TPersistent zugewiesen werden");
  }
  try {
    target.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.GetMessage(), "nil kann nicht zu TPersistent zugewiesen werden");
  }
}

}  // namespace
}  // namespace dashtune
