<?xml version="1.0" encoding="UTF-8"?>
<!-- Report type "VarnoUserAccess". Its data source lies outside this system; the template shows every
     section of the response with its attributes and texts. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="repCommon.xsl"/>
  <xsl:output method="text" encoding="UTF-8"/>

  <xsl:template match="/">
    <xsl:call-template name="rtf-begin"/>
    <xsl:call-template name="title">
      <xsl:with-param name="text">ДОСТУП ПОЛЬЗОВАТЕЛЕЙ К ПЛАТЕ</xsl:with-param>
    </xsl:call-template>
    <xsl:for-each select="/Report/Body/VarnoUserAccess">
      <xsl:call-template name="generic-section"/>
    </xsl:for-each>
    <xsl:for-each select="/Report/Body/Error">
      <xsl:call-template name="generic-section"/>
    </xsl:for-each>
    <xsl:call-template name="rtf-end"/>
  </xsl:template>
</xsl:stylesheet>
