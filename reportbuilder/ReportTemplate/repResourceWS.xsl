<?xml version="1.0" encoding="UTF-8"?>
<!-- Workstation resources under the board's control (report type "ResourceWS"). -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:include href="repCommon.xsl"/>
  <xsl:output method="text" encoding="UTF-8"/>

  <xsl:template match="/">
    <xsl:variable name="body" select="/Report/Body/ResourceWS"/>
    <xsl:call-template name="rtf-begin"/>
    <xsl:call-template name="title">
      <xsl:with-param name="text">РЕСУРСЫ РАБОЧЕЙ СТАНЦИИ ПОД КОНТРОЛЕМ ЦЕЛОСТНОСТИ</xsl:with-param>
    </xsl:call-template>
    <xsl:call-template name="field">
      <xsl:with-param name="label">Рабочая станция</xsl:with-param>
      <xsl:with-param name="value" select="$body/WorkstationInfo/Workstation"/>
    </xsl:call-template>
    <xsl:call-template name="field">
      <xsl:with-param name="label">Операционная система</xsl:with-param>
      <xsl:with-param name="value" select="$body/WorkstationInfo/OSType"/>
    </xsl:call-template>
    <xsl:for-each select="$body/ICheck/IntegrityCheck/VarnosCheck/VarnoCheck">
      <xsl:text>\pard\ql\sb240\sa120\b </xsl:text>
      <xsl:call-template name="rtf"><xsl:with-param name="s" select="Settings/Title"/></xsl:call-template>
      <xsl:text>\b0\par&#10;</xsl:text>
      <xsl:for-each select="JobResources/JobResource">
        <xsl:text>\pard\ql\li360\sa20\f1 </xsl:text>
        <xsl:call-template name="rtf"><xsl:with-param name="s" select="@value"/></xsl:call-template>
        <xsl:text>\f0\par&#10;</xsl:text>
      </xsl:for-each>
      <xsl:call-template name="field">
        <xsl:with-param name="label">Всего ресурсов</xsl:with-param>
        <xsl:with-param name="value" select="count(JobResources/JobResource)"/>
      </xsl:call-template>
    </xsl:for-each>
    <xsl:if test="not($body/ICheck/IntegrityCheck/VarnosCheck/VarnoCheck)">
      <xsl:text>\pard\ql\sb240 Ресурсы под контролем целостности не найдены.\par&#10;</xsl:text>
    </xsl:if>
    <xsl:call-template name="error-section"/>
    <xsl:call-template name="rtf-end"/>
  </xsl:template>
</xsl:stylesheet>
