# judge(<refused|passed> <what> <mention> <result> <output>): a run that
# should be refused must fail and name <mention>; one that should pass must
# succeed. A miss is reported and the script goes on to the next case.
function(judge outcome what mention result output)
  if(outcome STREQUAL "refused" AND (result EQUAL 0 OR NOT output MATCHES "${mention}"))
    message(SEND_ERROR "${what} should be refused, naming ${mention}; got ${result}: ${output}")
  elseif(outcome STREQUAL "passed" AND NOT result EQUAL 0)
    message(SEND_ERROR "${what} should pass; got: ${output}")
  endif()
endfunction()
