#include "output/ObjectStoreAdapter.h"

#include "objlib/exprlib.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_debug.h"
#include "objlib/ios_file_props.h"
#include "objlib/ios_image.h"
#include "objlib/ios_strtab.h"
#include "objlib/ios_symbol.h"

namespace {

// A store call's result in the face's terms: the code goes out only on failure. The
// code is taken by reference, so that it is read after the call that fills it.
uint32_t result(int failed, const IosErrorCode& code, uint32_t* error) {
  if (failed == 0) return 0;
  if (error) *error = code;
  return 1;
}

// Every file has one debug root, and its id is 1.
constexpr uint32_t kDebugRootId = 1;

IosDebugHandle variableHandle(uint32_t fileId, uint32_t variableId) {
  return {fileId, kDebugRootId, variableId};
}

}  // namespace

uint32_t ObjectStoreAdapter::imageAddZeros(uint32_t fileId, uint32_t sectionId, uint32_t offset,
                                           uint32_t count, uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_image_add_zeros(fileId, sectionId, offset, count, &code), code, error);
}

uint32_t ObjectStoreAdapter::imageAddExpression(uint32_t fileId, uint32_t sectionId, uint32_t offset,
                                                uint32_t units, ExprNode* expression, uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_image_add_expression({fileId, sectionId}, offset, units, expression, &code), code, error);
}

uint32_t ObjectStoreAdapter::imageAddRelocation(uint32_t fileId, uint32_t sectionId, uint32_t offset,
                                                uint32_t units, ExprNode* expression, uint32_t relocationType,
                                                uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_image_add_relocation({fileId, sectionId}, offset, units, expression, relocationType, 0, 0,
                                         &code),
                code, error);
}

uint32_t ObjectStoreAdapter::stringAdd(uint32_t fileId, const char* text, uint32_t* stringId, uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  IosHandle string = {0, 0};
  int failed = ios_strtab_add(fileId, text, &string, &code);
  if (!failed && stringId) *stringId = string.object_id;
  return result(failed, code, error);
}

uint32_t ObjectStoreAdapter::moduleAddVariable(const uint32_t module[3], uint32_t* variableId, uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  IosDebugHandle variable = {0, 0, 0};
  int failed = ios_module_add_variable({module[0], module[1], module[2]}, &variable, &code);
  if (!failed && variableId) *variableId = variable.record_id;
  return result(failed, code, error);
}

uint32_t ObjectStoreAdapter::variableSetName(uint32_t fileId, uint32_t variableId, uint32_t stringId,
                                             uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_variable_set_name(variableHandle(fileId, variableId), {fileId, stringId}, &code), code, error);
}

uint32_t ObjectStoreAdapter::variableSetValue(uint32_t fileId, uint32_t variableId, uint32_t value,
                                              uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_variable_set_value(variableHandle(fileId, variableId), value, &code), code, error);
}

uint32_t ObjectStoreAdapter::variableSetKind16(uint32_t fileId, uint32_t variableId, uint32_t kind,
                                               uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_variable_set_kind(variableHandle(fileId, variableId), kind, &code), code, error);
}

uint32_t ObjectStoreAdapter::variableSetExpression(uint32_t fileId, uint32_t variableId, ExprNode* address,
                                                   uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_variable_set_expression(variableHandle(fileId, variableId), address, &code), code, error);
}

uint32_t ObjectStoreAdapter::variableSetValueExpression(uint32_t fileId, uint32_t variableId, ExprNode* value,
                                                        uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_variable_set_value_expression(variableHandle(fileId, variableId), value, &code), code,
                error);
}

uint32_t ObjectStoreAdapter::symbolSetValue(uint32_t fileId, uint32_t symbolId, ExprNode* value,
                                            uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_symbol_set_value_expr({fileId, symbolId}, value, &code), code, error);
}

uint32_t ObjectStoreAdapter::fileSetCompilerName(uint32_t fileId, uint32_t stringId, uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_file_set_compiler_name(fileId, {fileId, stringId}, &code), code, error);
}

uint32_t ObjectStoreAdapter::fileSetCompilerVersion(uint32_t fileId, uint32_t stringId, uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_file_set_compiler_version(fileId, {fileId, stringId}, &code), code, error);
}

uint32_t ObjectStoreAdapter::fileSetCompilerInvocation(uint32_t fileId, uint32_t stringId, uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_file_set_compiler_invocation(fileId, {fileId, stringId}, &code), code, error);
}

uint32_t ObjectStoreAdapter::fileSetMisraC(uint32_t fileId, const char* text, uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_file_set_misrac_text(fileId, text, &code), code, error);
}

uint32_t ObjectStoreAdapter::callGraphRecord(uint32_t fileId, uint32_t callerId, uint32_t calleeId, uint32_t index,
                                             uint32_t value, uint32_t count, uint32_t* error) {
  // A caller that did not become an object-file symbol (one the source defined
  // wrongly) has nothing to hang the record on.
  if (callerId == 0) return 0;
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_callgraph_record(fileId, callerId, calleeId, index, value, count, &code), code, error);
}

uint32_t ObjectStoreAdapter::moduleSetName(const uint32_t module[3], uint32_t stringId, uint32_t* error) {
  IosErrorCode code = IOS_ERR_INTERNAL;
  return result(ios_module_set_name({module[0], module[1], module[2]}, {module[0], stringId}, &code), code,
                error);
}

void ObjectStoreAdapter::releaseExpression(ExprNode* expression) { expr_release(expression); }

const char* ObjectStoreAdapter::statusText(uint32_t status) const {
  return statusText_ ? statusText_(static_cast<int32_t>(status)) : "";
}
